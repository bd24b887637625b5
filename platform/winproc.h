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

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

// An entry point of unknown type; callers cast it to the entry point's own type.
typedef void(WINAPI* FARPROC)(void);

// The shell's restart request (its entry point is looked up in "aygshell.dll").
#define EWX_REBOOT 2

// Fills the version fields (dwOSVersionInfoSize must be set by the caller).
// RETURNS non-zero.
BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info);

// RETURNS a module handle for a library of the device ("aygshell.dll"), or null.
HMODULE WINAPI LoadLibraryW(LPCWSTR name);

// Releases a module handle. RETURNS non-zero on success.
BOOL WINAPI FreeLibrary(HMODULE module);

// Starts the program file `application` with `commandLine` as its command line. On this
// platform only these arguments are used; the others must be null or 0.
// RETURNS non-zero with *info filled (its handles accept CloseHandle) when the program
// file exists; 0 (ERROR_FILE_NOT_FOUND) otherwise. The new process runs on its own.
BOOL WINAPI CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPVOID processAttributes, LPVOID threadAttributes,
                           BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                           LPVOID startupInfo, LPPROCESS_INFORMATION info);
