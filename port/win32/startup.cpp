// The desktop's start-up code for the program: the C runtime calls wWinMain with the
// command line that follows the program's name, which is what the handheld hands WinMain.
#include "port/win32/port.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand) {
    return WinMain(instance, previousInstance, commandLine, showCommand);
}
