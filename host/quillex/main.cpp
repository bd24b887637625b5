// The device's start-up code for Quillex: takes the host options (options.cpp), picks the
// device, hands the program its command line as the platform does (one string) and ends
// the process with WinMain's result. A run from the command line is told back from the
// device's record of changes: a summary, every item, or a JSON document; a preview runs
// the same code against a dry-run view of the device, and only reads. Window mode (an
// empty command line) runs on the terminal screen when a person at a terminal started it,
// and on the script screen otherwise. A report that could not be written whole fails the run,
// and so does a change the host or the store refused. A command-line run that gets SIGINT,
// SIGTERM or SIGHUP stops before its next file, says what it did until then, and exits
// 128 + the signal.
#include "device/boot/device.h"
#include "device/core/changes.h"
#include "device/core/interrupt.h"
#include "device/core/preview.h"
#include "device/core/utf.h"
#include "device/kernel/processes.h"
#include "device/screens/screen.h"
#include "device/windowing/resources.h"
#include "device/windowing/templates.h"
#include "device/windowing/windows.h"
#include "platform/windows.h"
#include "host/common/open.h"
#include "host/common/output.h"
#include "host/program/program.h"
#include "host/quillex/options.h"
#include "res/resource.h"
#include "host/quillex/progress.h"
#include "host/quillex/report.h"
#include "formats/printable.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// The help after the options' part (options.cpp).
const char kUsage[] =
    "\n"
    "Runs Quillex on an emulated device. The command line is handed to the program as one\n"
    "line; each of these letters anywhere in it runs one action, in this order:\n"
    "  n  clean the notification queue\n"
    "  t  delete temporary files (\\Temp, \\Windows\\Temp)\n"
    "  c  delete the browser cache\n"
    "  h  delete the browser history\n"
    "  a  delete the offline reader's cache\n"
    "  -auto  the automatic run (nothing else on the line is looked at)\n"
    "Every action writes a line to Quillex.log in the install folder. After the run, one\n"
    "line per action, named as the main dialog names it, tells what it did, e.g.\n"
    "  Temp files: 3 files deleted (4.8 KB freed); 1 file kept: 1 read-only\n"
    "\n"
    "An empty command line starts the interactive program. On a terminal it shows the\n"
    "device's screen and takes keys and mouse taps (on controls, soft keys, menu items, OK):\n"
    "  F1, F2            the left and right soft key (Cleanup, Tools)\n"
    "  Tab, Shift+Tab    move the focus, over the weekday cells too; so do the arrows,\n"
    "                    except in a time picker, where Left and Right pick the field\n"
    "                    and Up and Down change it\n"
    "  Space             ticks or clears the focused check box; selects or clears the\n"
    "                    focused weekday cell (what a tap on it does)\n"
    "  0-9               type into the time picker's field\n"
    "  Enter             the title bar's OK\n"
    "  Escape            Cancel, or closes an open menu\n"
    "  in an open menu   Up and Down move the highlight, Enter chooses it, a letter\n"
    "                    chooses the first item starting with it\n"
    "The key help below or beside the screen (53 x 24 cells; 80 x 24 shows it whole)\n"
    "shows what the keys do in the window in front. While the terminal is too small for\n"
    "the screen, only q, Escape and Ctrl+C work: they quit. Ctrl+C ends the program as\n"
    "if its user had quit it.\n"
    "\n"
    "With --screen script, or when standard input is not a terminal, it reads one input\n"
    "event a line from standard input:\n"
    "  tap ID, softkey left|right, menu TEXT, key NAME (Escape, Enter, Tab, Space, Up, Down,\n"
    "  Left, Right, 0-9; as on the terminal), ok (the title bar's OK), dump (write the\n"
    "  screen), picture FILE.png (write the screen as a PNG image), terminal-picture 80x24\n"
    "  FILE.png (the terminal screen in a terminal of that size); '#' comments.\n"
    "The screen is written as 53 x 24 cells of text after each event that changes it: '>'\n"
    "marks the focus and the open menu's highlighted item, brackets a selected weekday\n"
    "and the time picker's field the keys change. At the end of the input the program\n"
    "ends as if its user had quit it, with exit code 0 (1 when some input line could not\n"
    "be acted on, or was left unused when the program ended).\n"
    "\n"
    "The device is DIR, else $QUILLEX_DEVICE, else $XDG_DATA_HOME/quillex/device\n"
    "(~/.local/share/quillex/device). A run makes it in a new or empty folder, and says so\n"
    "on standard error; a preview only reads, and on a folder without a device it is\n"
    "refused (exit code 1) and makes nothing.\n"
    "\n"
    "Exit codes: 0 the run happened (files the device keeps, read-only or in use, are\n"
    "reported, not errors); 1 the device or the operation failed, the host or the store\n"
    "refused a change (reported as kept, with the reason), or the report could not be\n"
    "written whole; 2 usage error; 128 + N when signal N (SIGINT, SIGTERM, SIGHUP) stopped\n"
    "the run before its next file, after the report of what it did until then.\n";

// The program's own version as its About box shows it ("Quillex v1.07" gives "v1.07"),
// read from the program's resources so that it is written in one place; empty if absent.
std::string programVersion() {
    HINSTANCE instance = device::programInstance();
    HRSRC about = FindResourceW(instance, MAKEINTRESOURCEW(IDD_ABOUT), RT_DIALOG);
    HGLOBAL data = about ? LoadResource(instance, about) : nullptr;
    device::DialogLayout layout;
    if (!data || !device::parseDialogTemplate(LockResource(data), SizeofResource(instance, about), &layout)) return "";
    const std::string prefix = "Quillex v";
    for (const device::DialogItemLayout& item : layout.items) {
        std::string text = device::toUtf8(item.text.text);
        if (text.rfind(prefix, 0) == 0) return text.substr(prefix.size() - 1);
    }
    return "";
}

// This build's version, then the version of the program it runs.
void printVersion() {
    std::string program = programVersion();
    std::printf("quillex %s%s\n", QUILLEX_VERSION, program.empty() ? "" : (" (program " + program + ")").c_str());
}

// The report of a command-line run, written once: at its end, or inside the kernel's
// reset, which ends the process there.
struct Report {
    host::HostOptions options;
    host::RunFacts facts;
    bool written = false;
};
Report report;

void writeReport() {
    if (report.written) return;
    report.written = true;
    report.facts.interruptedBy = device::interruptRequested();
    host::progressStop();
    device::previewEnd();
    const std::vector<device::Change>& changes = device::changesSoFar();
    const host::HostOptions& options = report.options;
    if (options.json) {
        // Log lines are 8-bit text of the program's own: bytes that are no UTF-8 become U+FFFD.
        nlohmann::ordered_json document = host::reportJson(report.facts, changes);
        host::writeOut(document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
    } else if (options.preview) {
        host::writeOut("Preview of \"" + formats::printable(report.facts.commandLine) + "\" on " +
                       formats::printable(report.facts.device) + "; nothing was changed.\n" +
                       host::reportItems(report.facts, changes));
    } else if (options.verbose && !options.quiet) {
        host::writeOut(host::reportItems(report.facts, changes));
    } else if (!options.quiet) {
        host::writeOut(host::reportSummary(report.facts, changes));
    }
}

// The kernel's reset ends the process inside the run: the report is its last word, and
// one that could not be written fails the run there.
void reportAtProcessEnd() {
    writeReport();
    if (!host::finishOutput("quillex")) _exit(1);
}

// A signal only notes the request; the device acts on it before its next file.
void onStopSignal(int number) { device::interruptRequest(number); }

// At that point: the report of what was done, the device closed as at any end, and the
// exit status a shell expects of a run a signal stopped.
[[noreturn]] void stopRun(int signal) {
    writeReport();
    host::finishOutput("quillex");
    device::close();
    _exit(128 + signal);
}

void stopOnSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // a second signal ends the process at once
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
    device::interruptOnRequest(stopRun);
}

}  // namespace

int main(int argc, char** argv) {
    // A device this run creates gets its Quillex.exe backed by this very executable.
    host::introduceProgram(device::ownExecutable());
    host::HostOptions options;
    std::string message;
    switch (host::readHostOptions(argc, argv, &options, &message)) {
    case host::HostRequest::help:
        std::fputs((host::hostOptionsHelp() + kUsage).c_str(), stdout);
        return host::finishOutput("quillex") ? 0 : 1;
    case host::HostRequest::version:
        printVersion();
        return host::finishOutput("quillex") ? 0 : 1;
    case host::HostRequest::usageError:
        std::fprintf(stderr, "quillex: %s\n", formats::printable(message).c_str());
        return 2;
    case host::HostRequest::run:
        break;
    }
    const std::string& commandLine = options.commandLine;
    std::string deviceDir = options.deviceDir.empty() ? device::defaultDir() : options.deviceDir;
    std::string error;
    // A preview only reads: it never makes a device, nor anything else on the host.
    if (!host::openForHost("quillex", deviceDir, options.preview ? host::Opening::existing : host::Opening::make))
        return 1;
    std::u16string wide = device::toUtf16(commandLine);
    std::vector<WCHAR> line(wide.begin(), wide.end());
    line.push_back(0);
    // The module handle the platform gives a program: never null.
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10000));
    // Window mode: a person at a terminal gets the terminal screen, anything else the script.
    bool terminalScreen = commandLine.empty() && !options.scriptScreen && isatty(STDIN_FILENO);
    if (terminalScreen && !device::terminalScreenStart(&error)) {
        std::fprintf(stderr, "quillex: %s (--screen script reads input events instead)\n", error.c_str());
        device::close();
        return 2;
    }
    if (commandLine.empty() && !terminalScreen) device::scriptScreenStart(std::cin, std::cout, std::cerr, "quillex: ");

    bool reporting = !commandLine.empty();
    if (reporting) {
        report.options = options;
        report.facts = host::RunFacts{deviceDir, commandLine, options.preview, host::activityLogPath(),
                                      host::actionsAsked(commandLine)};
        if (options.preview && !device::previewBegin(&error)) {
            std::fprintf(stderr, "quillex: %s\n", error.c_str());
            device::close();
            return 1;
        }
        device::changesRecord(true);
        // Only counts and sizes will be told: a sweep of a million files keeps a record of a few lines.
        device::changesSummarize(!options.json && !options.preview && !options.verbose);
        device::changesOnProcessEnd(reportAtProcessEnd);
        if (!options.quiet) host::progressStart(report.facts.logPath);
        stopOnSignals();
    }
    int result = WinMain(instance, nullptr, line.data(), SW_SHOW);
    if (reporting) {
        writeReport();
        // A signal after the last file stops nothing more, but the run still ends as stopped.
        if (int signal = device::interruptRequested()) stopRun(signal);
        if (result == 0 && host::reportRefused(device::changesSoFar())) result = 1;
    }
    device::terminalScreenStop();
    if (commandLine.empty() && device::foregroundRequestsSent() > 0)
        std::fputs("quillex: Quillex already runs on this device; it was brought forward\n", stderr);
    device::close();
    // Input lines the script screen could not act on, or never came to, make the run a failed one.
    bool inputUsed = device::scriptScreenFinish(!isatty(STDIN_FILENO));
    // So does a report or screen that did not reach its place.
    if (!host::finishOutput("quillex")) return 1;
    if (!inputUsed && result == 0) return 1;
    return result;
}
