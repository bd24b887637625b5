// Processes, libraries and the kernel on a desktop: program starts without the records the
// desktop needs, the handheld's shell library, the wide entry-point lookup and the kernel's
// control requests. Everything here is recorded.
#include "port/win32/port.h"

#include <cstdio>

#undef CreateProcessW
#undef CloseHandle
#undef LoadLibraryW
#undef FreeLibrary

BOOL WINAPI shellExitWindowsEx(UINT flags, DWORD reserved);  // shell.cpp

namespace {

// The handheld's shell library has no file on the desktop; this address stands for it.
const char kShellLibrary = 0;
HMODULE shellModule() { return reinterpret_cast<HMODULE>(const_cast<char*>(&kShellLibrary)); }

}  // namespace

BOOL WINAPI portCreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                               LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                               LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                               LPPROCESS_INFORMATION info) {
    STARTUPINFOW defaultStartup = {};
    defaultStartup.cb = sizeof defaultStartup;
    PROCESS_INFORMATION unused = {};
    BOOL started = CreateProcessW(application, commandLine, processAttributes, threadAttributes, inheritHandles,
                                  creationFlags, environment, currentDirectory,
                                  startupInfo ? startupInfo : &defaultStartup, info ? info : &unused);
    if (started && !info) {
        CloseHandle(unused.hThread);
        CloseHandle(unused.hProcess);
    }
    port::recordCall("CreateProcessW " + port::utf8(application) + (started ? " started" : " failed"));
    return started;
}

BOOL WINAPI portCloseHandle(HANDLE handle) {
    if (port::isNotificationHandle(handle)) return TRUE;
    return CloseHandle(handle);
}

HMODULE WINAPI portLoadLibraryW(LPCWSTR name) {
    if (name && lstrcmpiW(name, L"aygshell.dll") == 0) {
        port::recordCall("LoadLibraryW aygshell.dll");
        return shellModule();
    }
    return LoadLibraryW(name);
}

BOOL WINAPI portFreeLibrary(HMODULE module) {
    if (module == shellModule()) return TRUE;
    return FreeLibrary(module);
}

FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR name) {
    if (module == shellModule()) {
        if (name && lstrcmpW(name, L"ExitWindowsEx") == 0)
            return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&shellExitWindowsEx));
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    // Entry-point names are ASCII; the desktop looks them up in 8-bit text.
    char narrow[256];
    int length = 0;
    for (; name && name[length]; ++length) {
        if (length == 255 || name[length] > 0x7F) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        narrow[length] = static_cast<char>(name[length]);
    }
    narrow[length] = 0;
    return GetProcAddress(module, narrow);
}

BOOL WINAPI KernelIoControl(DWORD code, LPVOID, DWORD, LPVOID, DWORD, LPDWORD) {
    char line[48];
    std::snprintf(line, sizeof line, "KernelIoControl 0x%08lX", static_cast<unsigned long>(code));
    port::recordCall(line);
    // The reset ends every program at once; the desktop's process ends as it would.
    if (code == IOCTL_HAL_REBOOT) ExitProcess(0);
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
