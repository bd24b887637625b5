// The device's start-up code for Quillex: picks the device, hands the program its
// command line as the platform does (everything after the program's name, as one
// string) and ends the process with WinMain's result. Only leading host options are
// taken here; everything from the first other argument on reaches WinMain unchanged.
// Window mode (an empty command line) runs on the terminal screen when a person at a
// terminal started it, and on the script screen otherwise.
#include "device/boot/device.h"
#include "device/core/utf.h"
#include "device/kernel/processes.h"
#include "device/screens/screen.h"
#include "device/windowing/resources.h"
#include "device/windowing/templates.h"
#include "device/windowing/windows.h"
#include "platform/windows.h"
#include "res/resource.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const char kUsage[] =
    "Usage: quillex [--device DIR] [--screen script] [--help] [-V|--version] [COMMAND LINE]\n"
    "\n"
    "Runs Quillex on an emulated device. The command line is handed to the program as it\n"
    "stands; each of these letters anywhere in it runs one action, in this order:\n"
    "  n  clean the notification queue\n"
    "  t  delete temporary files (\\Temp, \\Windows\\Temp)\n"
    "  c  delete the browser cache\n"
    "  h  delete the browser history\n"
    "  a  delete the offline reader's cache\n"
    "  -auto  the automatic run (nothing else on the line is looked at)\n"
    "Every action writes a line to Quillex.log in the install folder.\n"
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
    "exit code 0.\n"
    "\n"
    "The device is DIR, else $QUILLEX_DEVICE, else $XDG_DATA_HOME/quillex/device\n"
    "(~/.local/share/quillex/device); it is created on first use.\n";

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

}  // namespace

int main(int argc, char** argv) {
    std::string deviceDir;
    bool scriptScreen = false;
    int first = 1;
    for (; first < argc; ++first) {
        const char* arg = argv[first];
        if (std::strcmp(arg, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-V") == 0) {
            // This build's version, then the version of the program it runs.
            std::string program = programVersion();
            std::printf("quillex %s%s\n", QUILLEX_VERSION, program.empty() ? "" : (" (program " + program + ")").c_str());
            return 0;
        }
        if (std::strcmp(arg, "--device") == 0) {
            if (first + 1 >= argc) {
                std::fputs("quillex: --device needs a folder\n", stderr);
                return 2;
            }
            deviceDir = argv[++first];
        } else if (std::strncmp(arg, "--device=", 9) == 0) {
            deviceDir = arg + 9;
        } else if (std::strcmp(arg, "--screen") == 0 || std::strncmp(arg, "--screen=", 9) == 0) {
            const char* screen = arg[8] == '=' ? arg + 9 : (first + 1 < argc ? argv[++first] : "");
            if (std::strcmp(screen, "script") != 0) {
                std::fputs("quillex: --screen takes \"script\"\n", stderr);
                return 2;
            }
            scriptScreen = true;
        } else {
            break;
        }
    }

    std::string commandLine;
    for (int i = first; i < argc; ++i) {
        if (i > first) commandLine += ' ';
        commandLine += argv[i];
    }
    if (deviceDir.empty()) deviceDir = device::defaultDir();
    // A device this run creates gets its Quillex.exe backed by this very executable.
    device::setQuillexHost(device::ownExecutable());
    std::string error;
    if (!device::open(deviceDir, &error)) {
        std::fprintf(stderr, "quillex: %s\n", error.c_str());
        return 2;
    }
    std::u16string wide = device::toUtf16(commandLine);
    std::vector<WCHAR> line(wide.begin(), wide.end());
    line.push_back(0);
    // The module handle the platform gives a program: never null.
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10000));
    // Window mode: a person at a terminal gets the terminal screen, anything else the script.
    bool terminalScreen = commandLine.empty() && !scriptScreen && isatty(STDIN_FILENO);
    if (terminalScreen && !device::terminalScreenStart(&error)) {
        std::fprintf(stderr, "quillex: %s (--screen script reads input events instead)\n", error.c_str());
        device::close();
        return 2;
    }
    if (commandLine.empty() && !terminalScreen) device::scriptScreenStart(std::cin, std::cout, std::cerr);
    int result = WinMain(instance, nullptr, line.data(), SW_SHOW);
    device::terminalScreenStop();
    if (commandLine.empty() && device::foregroundRequestsSent() > 0)
        std::fputs("quillex: Quillex already runs on this device; it was brought forward\n", stderr);
    device::close();
    return result;
}
