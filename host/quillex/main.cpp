// The device's start-up code for Quillex: takes the host options, picks the device,
// hands the program its command line as the platform does (everything after the
// program's name, as one string) and ends the process with WinMain's result. Only
// leading host options are taken here, and "--" ends them; everything after them reaches
// WinMain unchanged. A run from the command line is told back from the device's record of
// changes: a summary, every item, or a JSON document; a preview runs the same code
// against a dry-run view of the device. Window mode (an empty command line) runs on the
// terminal screen when a person at a terminal started it, and on the script screen otherwise.
// A command-line run that gets SIGINT, SIGTERM or SIGHUP stops before its next file, says
// what it did until then, and exits 128 + the signal.
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
#include "host/program/program.h"
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

const char kUsage[] =
    "Usage: quillex [HOST OPTIONS] [--] [COMMAND LINE]\n"
    "\n"
    "Host options (they come first; \"--\" ends them):\n"
    "  -h, -?, --help     this help\n"
    "  -V, --version      the version\n"
    "  --device DIR       the device folder\n"
    "  --screen script    window mode reads input events from standard input\n"
    "  --preview          run the command line against a dry-run view of the device and\n"
    "                     list what it would do; the device is left as it was\n"
    "  --json             write one JSON document of what the run did (or would do)\n"
    "  --verbose          list every item the run handled, not only the summary\n"
    "  --quiet            print no report\n"
    "Any other leading argument starting with \"--\" is refused: put the program's own\n"
    "command line after \"--\" (quillex -- -h hands \"-h\" to the program).\n"
    "\n"
    "Runs Quillex on an emulated device. The command line is handed to the program as it\n"
    "stands; each of these letters anywhere in it runs one action, in this order:\n"
    "  n  clean the notification queue\n"
    "  t  delete temporary files (\\Temp, \\Windows\\Temp)\n"
    "  c  delete the browser cache\n"
    "  h  delete the browser history\n"
    "  a  delete the offline reader's cache\n"
    "  -auto  the automatic run (nothing else on the line is looked at)\n"
    "Every action writes a line to Quillex.log in the install folder. After the run, one\n"
    "line per action tells what it did, e.g.\n"
    "  cleanupTemp: 3 files deleted (4.8 KB freed); 1 kept: 1 read-only\n"
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
    "The line under the screen shows what the keys do in the window in front. Keys do\n"
    "nothing while the terminal is too small for the screen. Ctrl+C ends the program as\n"
    "if its user had quit it.\n"
    "\n"
    "With --screen script, or when standard input is not a terminal, it reads one input\n"
    "event a line from standard input:\n"
    "  tap ID, softkey left|right, menu TEXT, key NAME (Escape, Enter, Tab, Space, Up, Down,\n"
    "  Left, Right, 0-9), ok (the title bar's OK), dump (write the screen), picture FILE.png\n"
    "  (write the screen as a PNG image); '#' comments.\n"
    "The screen is written as 53 x 26 cells of text after each event that changes it: '>'\n"
    "marks the focus, brackets a selected weekday and the time picker's field the keys\n"
    "change. At the end of the input the program ends as if its user had quit it, with\n"
    "exit code 0 (1 when some input line could not be acted on).\n"
    "\n"
    "The device is DIR, else $QUILLEX_DEVICE, else $XDG_DATA_HOME/quillex/device\n"
    "(~/.local/share/quillex/device); it is created on first use, which is said on\n"
    "standard error.\n"
    "\n"
    "Exit codes: 0 the run happened (files the device keeps, read-only or in use, are\n"
    "reported, not errors); 1 the device or the operation failed, or the host or the store\n"
    "refused a change (reported as kept, with the reason); 2 usage error; 128 + N when\n"
    "signal N (SIGINT, SIGTERM, SIGHUP) stopped the run before its next file, after the\n"
    "report of what it did until then.\n";

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

// The host's options, as read from the front of the arguments.
struct HostOptions {
    std::string deviceDir;
    bool scriptScreen = false, preview = false, json = false, verbose = false, quiet = false;
    int first = 1;  // the first argument of the program's command line
};

// This build's version, then the version of the program it runs.
void printVersion() {
    std::string program = programVersion();
    std::printf("quillex %s%s\n", QUILLEX_VERSION, program.empty() ? "" : (" (program " + program + ")").c_str());
}

// RETURNS -1 when the run goes ahead, else the exit code (help, version, usage errors).
int readHostOptions(int argc, char** argv, HostOptions* options) {
    int& first = options->first;
    for (; first < argc; ++first) {
        const char* arg = argv[first];
        if (std::strcmp(arg, "--") == 0) {
            ++first;
            break;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "-?") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-V") == 0) {
            printVersion();
            return 0;
        }
        if (std::strcmp(arg, "--device") == 0 || std::strncmp(arg, "--device=", 9) == 0) {
            bool separate = arg[8] != '=';
            if (separate && first + 1 >= argc) {
                std::fputs("quillex: --device needs a folder\n", stderr);
                return 2;
            }
            options->deviceDir = separate ? argv[++first] : arg + 9;
            if (options->deviceDir.empty()) {
                std::fputs("quillex: --device needs a folder, not an empty name\n", stderr);
                return 2;
            }
        } else if (std::strcmp(arg, "--screen") == 0 || std::strncmp(arg, "--screen=", 9) == 0) {
            const char* screen = arg[8] == '=' ? arg + 9 : (first + 1 < argc ? argv[++first] : "");
            if (std::strcmp(screen, "script") != 0) {
                std::fputs("quillex: --screen takes \"script\"\n", stderr);
                return 2;
            }
            options->scriptScreen = true;
        } else if (std::strcmp(arg, "--preview") == 0) {
            options->preview = true;
        } else if (std::strcmp(arg, "--json") == 0) {
            options->json = true;
        } else if (std::strcmp(arg, "--verbose") == 0) {
            options->verbose = true;
        } else if (std::strcmp(arg, "--quiet") == 0) {
            options->quiet = true;
        } else if (std::strncmp(arg, "--", 2) == 0) {
            std::string shown = formats::printable(arg);
            std::fprintf(stderr,
                         "quillex: unknown option %s; nothing was run (to hand it to the program, put it after "
                         "\"--\": quillex -- %s)\n",
                         shown.c_str(), shown.c_str());
            return 2;
        } else {
            break;
        }
    }
    return -1;
}

// The report of a command-line run, written once: at its end, or inside the kernel's
// reset, which ends the process there.
struct Report {
    HostOptions options;
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
    const HostOptions& options = report.options;
    if (options.json) {
        // Log lines are 8-bit text of the program's own: bytes that are no UTF-8 become U+FFFD.
        nlohmann::ordered_json document = host::reportJson(report.facts, changes);
        std::fputs((document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n").c_str(), stdout);
    } else if (options.preview) {
        std::printf("Preview of \"%s\" on %s; nothing was changed.\n", formats::printable(report.facts.commandLine).c_str(),
                    formats::printable(report.facts.device).c_str());
        std::fputs(host::reportItems(report.facts, changes).c_str(), stdout);
    } else if (options.verbose && !options.quiet) {
        std::fputs(host::reportItems(report.facts, changes).c_str(), stdout);
    } else if (!options.quiet) {
        std::fputs(host::reportSummary(report.facts, changes).c_str(), stdout);
    }
    std::fflush(stdout);
}

// A signal only notes the request; the device acts on it before its next file.
void onStopSignal(int number) { device::interruptRequest(number); }

// At that point: the report of what was done, the device closed as at any end, and the
// exit status a shell expects of a run a signal stopped.
[[noreturn]] void stopRun(int signal) {
    writeReport();
    device::close();
    std::fflush(nullptr);
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
    HostOptions options;
    if (int exitCode = readHostOptions(argc, argv, &options); exitCode >= 0) return exitCode;
    std::string commandLine;
    for (int i = options.first; i < argc; ++i) {
        if (i > options.first) commandLine += ' ';
        commandLine += argv[i];
    }
    if (commandLine.empty() && (options.preview || options.json)) {
        std::fprintf(stderr, "quillex: %s needs a command line (window mode has nothing to report)\n",
                     options.preview ? "--preview" : "--json");
        return 2;
    }
    std::string deviceDir = options.deviceDir.empty() ? device::defaultDir() : options.deviceDir;
    std::string error;
    bool made = false;
    if (!device::open(deviceDir, &error, &made)) {
        std::fprintf(stderr, "quillex: %s\n", formats::printable(error).c_str());
        return 1;
    }
    // A misspelt folder shows at once rather than as an empty device.
    if (made) std::fprintf(stderr, "quillex: made a new device at %s\n", formats::printable(deviceDir).c_str());
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
    if (commandLine.empty() && !terminalScreen) device::scriptScreenStart(std::cin, std::cout, std::cerr);

    bool reporting = !commandLine.empty();
    if (reporting) {
        report.options = options;
        report.facts = host::RunFacts{deviceDir, commandLine, options.preview, host::activityLogPath()};
        if (options.preview && !device::previewBegin(&error)) {
            std::fprintf(stderr, "quillex: %s\n", error.c_str());
            device::close();
            return 1;
        }
        device::changesRecord(true);
        // Only counts and sizes will be told: a sweep of a million files keeps a record of a few lines.
        device::changesSummarize(!options.json && !options.preview && !options.verbose);
        device::changesOnProcessEnd(writeReport);
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
    // Input lines the script screen could not act on make the run a failed one.
    if (result == 0 && device::scriptScreenSkippedLines() > 0) return 1;
    return result;
}
