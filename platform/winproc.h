// Processes, libraries, the platform version and the kernel's control requests. Starting
// a program goes through the device's table of program files; restarts are requests to
// the shell or the kernel.
#pragma once

#include "wintypes.h"

typedef struct _OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *LPOSVERSIONINFOW;

#define VER_PLATFORM_WIN32_CE 3

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

// An entry point of unknown type; callers cast it to the entry point's own type.
typedef void (*FARPROC)(void);

// The shell's restart entry point, found in "aygshell.dll" as "ExitWindowsEx".
typedef BOOL (*ExitWindowsExProc)(UINT flags, DWORD reserved);
#define EWX_REBOOT 2

#define IOCTL_HAL_REBOOT 0x0101003CUL

// Fills the version fields (dwOSVersionInfoSize must be set by the caller).
// RETURNS non-zero.
BOOL GetVersionExW(LPOSVERSIONINFOW info);

// RETURNS a module handle for a library of the device ("aygshell.dll"), or null.
HMODULE LoadLibraryW(LPCWSTR name);

// RETURNS the entry point `name` of the module, or null when it has none.
FARPROC GetProcAddressW(HMODULE module, LPCWSTR name);

// Releases a module handle. RETURNS non-zero on success.
BOOL FreeLibrary(HMODULE module);

// Asks the kernel for a device operation. IOCTL_HAL_REBOOT resets the device at once:
// the call does not return to the caller. RETURNS 0 for requests the device does not know.
BOOL KernelIoControl(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned);

// Starts the program file `application` with `commandLine` as its command line. On this
// platform only these arguments are used; the others must be null or 0.
// RETURNS non-zero with *info filled (its handles accept CloseHandle) when the program
// file exists; 0 (ERROR_FILE_NOT_FOUND) otherwise. The new process runs on its own.
BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPVOID processAttributes, LPVOID threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                    LPVOID startupInfo, LPPROCESS_INFORMATION info);
