// The table of quillex-device's commands, in the order --help lists them.
#include "host/device-tool/commands.h"

namespace tool {
namespace {

const Command kCommands[] = {
    {"init", "Create the device, with Quillex installed on it (harmless to repeat)", Use::make, initOptions, nullptr,
     initRun},

    {"reg", "Import or export the registry as a registry file", Use::group, nullptr, nullptr, nullptr},
    {"reg import", "Apply a registry file (all of it, or nothing)", Use::write, regImportOptions, nullptr, regImportRun},
    {"reg export", "Write the registry, or one key, to standard output", Use::read, regExportOptions, nullptr,
     regExportRun},

    // Without a command of its own, "clock" shows the clock.
    {"clock", "Show or set the device clock", Use::read, nullptr, nullptr, clockShowRun},
    {"clock show", "Print the device's local time", Use::read, nullptr, nullptr, clockShowRun},
    {"clock set", "Set the time; the clock runs on from there", Use::write, clockSetOptions, clockSetCheck,
     clockSetRun},
    {"clock freeze", "Stop the clock, now or at TIME", Use::write, clockFreezeOptions, clockFreezeCheck,
     clockFreezeRun},
    {"clock run", "Follow the host's local time again", Use::write, nullptr, nullptr, clockRunRun},
    {"clock advance", "Move the clock forward, firing every time entry that comes due on the way", Use::write,
     clockAdvanceOptions, clockAdvanceCheck, clockAdvanceRun},
    {"clock fire-due", "Fire every time entry that is due, without moving the clock", Use::write, nullptr, nullptr,
     clockFireDueRun},

    {"version", "Show or set the platform version the device reports", Use::setting, versionOptions, versionCheck,
     versionRun},
    {"locale", "Show or set the time format the device reports to programs", Use::setting, localeOptions,
     localeCheck, localeRun},
    {"events", "List the device's journal: program starts, restarts and fired entries", Use::read, eventsOptions,
     nullptr, eventsRun},
    {"log", "Print the activity log (Quillex.log in the install folder the registry names)", Use::read, nullptr,
     nullptr, logRun},

    {"notify", "Import, list, add or clear entries of the notification queue", Use::group, nullptr, nullptr, nullptr},
    {"notify import", "Add the entries of a JSON array behind the queue, in order (all, or none)", Use::write,
     notifyImportOptions, nullptr, notifyImportRun},
    {"notify list", "Print the queue in delivery order, one entry a line", Use::read, notifyListOptions, nullptr,
     notifyListRun},
    {"notify add", "Add one entry behind the queue and print its handle", Use::write, notifyAddOptions,
     notifyAddCheck, notifyAddRun},
    {"notify clear", "Remove one entry", Use::write, notifyClearOptions, notifyClearCheck, notifyClearRun},

    {"hold", "Keep device files open for reading, sharing nothing, until standard input ends", Use::read,
     holdOptions, nullptr, holdRun},
};

}  // namespace

std::span<const Command> commands() { return kCommands; }

}  // namespace tool
