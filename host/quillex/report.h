// What a run of Quillex did, or would do in a preview, told from the device's record of
// changes (device/core/changes.h): one summary line per action, every item in the order
// it happened, or one JSON document. The program itself reports nothing; its log lines
// name the actions, and the items between them belong to them.
#pragma once

#include "device/core/changes.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace host {

struct RunFacts {
    std::string device;       // the device folder
    std::string commandLine;  // as handed to the program
    bool preview = false;
    std::string logPath;      // the activity log's device path; writes to it are log lines
    std::string asked;        // the letters of the actions asked for (actionsAsked())
    int interruptedBy = 0;    // the signal that stopped the run before its end, or 0
};

// The actions `commandLine` asks of the program, as letters of n t c h a in their order:
// the letters it holds, or for an automatic run the actions its settings select, read
// from the open device as the program reads them. A report names every one, even one
// that found nothing to do and so logged nothing.
std::string actionsAsked(const std::string& commandLine);

// One summary line per action, named as the main dialog names it, e.g.
// "Temp files: 50,000 files deleted (4.8 MB freed); 2 files kept: 1 read-only, 1 in use";
// what a run does outside any action has a line of its own ("schedule: next run
// registered for 2026-12-07 18:30", "restart requested by the shell"). Text reports end
// with a line saying so when the run was interrupted, and show names escaped where they
// hold what a terminal would act on (formats/printable.h).
std::string reportSummary(const RunFacts& facts, const std::vector<device::Change>& changes);

// Every item in order under its action's label, then the summary.
std::string reportItems(const RunFacts& facts, const std::vector<device::Change>& changes);

// The JSON document (README: "The JSON report").
nlohmann::ordered_json reportJson(const RunFacts& facts, const std::vector<device::Change>& changes);

// Whether the host or the store refused a change the program asked for: a file or folder
// the host would not remove, an entry or value the store kept, a write that did not
// happen. (Files kept by the device's own rules, read-only or in use, are no refusal.)
bool reportRefused(const std::vector<device::Change>& changes);

// "SIGTERM" for SIGTERM.
std::string signalName(int signal);

// The heading a person reads for an operation as the program logs it: the main dialog's
// label ("cleanupTemp" is "Temp files"), "schedule" for the registration of the next
// automatic run, the name itself for anything else.
std::string actionLabel(const std::string& operation);

// "50,000"; "4.8 MB" (1024-based, one decimal) or "512 bytes".
std::string countText(uint64_t count);
std::string sizeText(uint64_t bytes);

}  // namespace host
