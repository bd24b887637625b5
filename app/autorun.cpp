// The automatic run: started by the notification database with "-auto", it performs the
// actions selected in startOptions in bit order, the soft reset always last.
#include "app/quillex.h"

namespace {

// The shell's restart entry point, found in "aygshell.dll" as "ExitWindowsEx".
typedef BOOL(WINAPI* ExitWindowsExProc)(UINT flags, DWORD reserved);

// Asks the device to restart. The shell's request (platform 5 and later) returns and the
// run goes on; the kernel's reset (older platforms) ends this process inside the call.
// RETURNS 1 when the next automatic run was registered before the reset.
int softReset(void) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);
    if (version.dwMajorVersion >= 5) {
        HMODULE shell = LoadLibraryW(TEXT("aygshell.dll"));
        if (shell) {
            // An entry point comes untyped; the cast goes through the type that stands for
            // any function, so that no compiler takes it for a mistaken conversion.
            FARPROC found = GetProcAddressW(shell, TEXT("ExitWindowsEx"));
            ExitWindowsExProc exitWindows =
                reinterpret_cast<ExitWindowsExProc>(reinterpret_cast<void (*)(void)>(found));
            if (exitWindows) exitWindows(EWX_REBOOT, 0);
            FreeLibrary(shell);
        }
        return 0;
    }
    // Nothing runs after the kernel reset, so the next run is registered now, or the
    // chain of automatic runs would stop here for good.
    checkAutoStart();
    KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr);
    return 1;
}

}  // namespace

int runAutoStart(void) {
    startOptions = 0;
    HKEY key;
    if (openScheduleKey(&key)) {
        readScheduleValue(key, TEXT("startOptions"), &startOptions);
        RegCloseKey(key);
    }
    resolveInstallDir();
    if (startOptions & SCHEDULE_NOTIFICATIONS) cleanupNotifications(0);
    if (startOptions & SCHEDULE_TEMP) cleanupTemp(1);
    if (startOptions & SCHEDULE_IE_CACHE) cleanupIECache(1);
    if (startOptions & SCHEDULE_IE_HISTORY) cleanupHistory(1);
    if (startOptions & SCHEDULE_AVANTGO) cleanupAvantGo(1);
    if (startOptions & SCHEDULE_SOFT_RESET) return softReset();
    return 0;
}
