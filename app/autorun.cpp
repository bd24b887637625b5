// The automatic run: started by the notification database with "-auto", it performs the
// actions selected in startOptions in bit order, the soft reset always last.
#include "app/quillex.h"

namespace {

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
            ExitWindowsExProc exitWindows =
                reinterpret_cast<ExitWindowsExProc>(GetProcAddressW(shell, TEXT("ExitWindowsEx")));
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
