// quillex-device's commands, in one table: a new command is a row in commands.cpp and its
// functions in the file of its group (setup, registry, clock, settings, journal, notify,
// hold). main.cpp builds the command line from the table, parses it, opens the device as
// the row says and runs the row's function; nothing else decides what a command does.
#pragma once

#include <CLI/CLI.hpp>

#include <span>

namespace tool {

// How a command uses the device. Reading never makes a device: on a folder that holds
// none it is refused, and the folder is left as it was.
enum class Use {
    group,    // a group of commands ("reg"), never run itself
    read,     // only reads
    write,    // changes the device; makes it when the folder is new or empty
    make,     // init: makes the device, which is what was asked, so it is not remarked on
    setting,  // reads, or writes when given anything to set (version, locale)
};

struct Command {
    const char* path;                    // "clock advance": the group, then the command
    const char* help;                    // one line, as --help lists it
    Use use;
    void (*options)(CLI::App* command);  // declares its options and arguments, or null
    int (*check)();                      // validates them before the device is touched, or null;
                                         // RETURNS 0, or the exit code after saying why
    int (*run)();                        // the work, on the open device; null for a group that
                                         // needs one of its commands. RETURNS the exit code
};

std::span<const Command> commands();

// Each command's functions, by group.
void initOptions(CLI::App* command);
int initRun();

void regImportOptions(CLI::App* command);
int regImportRun();
void regExportOptions(CLI::App* command);
int regExportRun();

int clockShowRun();
void clockSetOptions(CLI::App* command);
int clockSetCheck();
int clockSetRun();
void clockFreezeOptions(CLI::App* command);
int clockFreezeCheck();
int clockFreezeRun();
int clockRunRun();
void clockAdvanceOptions(CLI::App* command);
int clockAdvanceCheck();
int clockAdvanceRun();
int clockFireDueRun();

void versionOptions(CLI::App* command);
int versionCheck();
int versionRun();
void localeOptions(CLI::App* command);
int localeCheck();
int localeRun();

void eventsOptions(CLI::App* command);
int eventsRun();
int logRun();

void notifyImportOptions(CLI::App* command);
int notifyImportRun();
void notifyListOptions(CLI::App* command);
int notifyListRun();
void notifyAddOptions(CLI::App* command);
int notifyAddCheck();
int notifyAddRun();
void notifyClearOptions(CLI::App* command);
int notifyClearCheck();
int notifyClearRun();

void holdOptions(CLI::App* command);
int holdRun();

}  // namespace tool
