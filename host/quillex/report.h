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
    int interruptedBy = 0;    // the signal that stopped the run before its end, or 0
};

// One summary line per action, e.g.
// "cleanupTemp: 50,000 files deleted (4.8 MB freed); 2 kept: 1 read-only, 1 in use".
// Text reports end with a line saying so when the run was interrupted, and show names
// that hold control characters escaped (formats/printable.h).
std::string reportSummary(const RunFacts& facts, const std::vector<device::Change>& changes);

// Every item in order under its action's name, then the summary.
std::string reportItems(const RunFacts& facts, const std::vector<device::Change>& changes);

// The JSON document (README: "The JSON report").
nlohmann::ordered_json reportJson(const RunFacts& facts, const std::vector<device::Change>& changes);

// Whether the host or the store refused a change the program asked for: a file or folder
// the host would not remove, an entry or value the store kept, a write that did not
// happen. (Files kept by the device's own rules, read-only or in use, are no refusal.)
bool reportRefused(const std::vector<device::Change>& changes);

// "SIGTERM" for SIGTERM.
std::string signalName(int signal);

// "50,000"; "4.8 MB" (1024-based, one decimal) or "512 bytes".
std::string countText(uint64_t count);
std::string sizeText(uint64_t bytes);

}  // namespace host
