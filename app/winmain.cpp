// The program's entry: an empty command line starts the interactive program, anything
// else runs the actions it names and ends without a window.
#include "app/quillex.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand) {
    (void)previousInstance;
    if (!commandLine || !commandLine[0]) return runWindowMode(instance, showCommand);

    // Every option is a substring test, so "-AUTO", "x-autoy" and "clean" all count.
    _wcslwr(commandLine);
    if (wcsstr(commandLine, TEXT("-auto"))) {
        // The automatic run, then the registration of the next one; nothing else on such a
        // command line is looked at.
        if (!runAutoStart()) checkAutoStart();
        return 0;
    }

    resolveInstallDir();
    if (wcsstr(commandLine, TEXT("n"))) cleanupNotifications(0);
    if (wcsstr(commandLine, TEXT("t"))) cleanupTemp(1);
    if (wcsstr(commandLine, TEXT("c"))) cleanupIECache(1);
    if (wcsstr(commandLine, TEXT("h"))) cleanupHistory(1);
    if (wcsstr(commandLine, TEXT("a"))) cleanupAvantGo(1);
    return 0;
}
