// The platform as a desktop Win32 system gives it. Everything the handheld and the desktop
// share comes from the desktop's own system headers; the handheld's own families
// (winnotify.h, aygshell.h, handheld.h) come from the repository's platform/ folder and are
// implemented by this port; the few shared calls whose desktop behaviour differs from the
// handheld's are routed through the port's adapters. Only the Win32 build puts this folder
// ahead of the repository on the include path, so the program's own include of
// "platform/windows.h" lands here.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
// The program's buffers are fixed and checked; the safe-string header need not rename the
// C library's string functions it would otherwise forbid.
#define STRSAFE_NO_DEPRECATE

#include <windows.h>
#include <commctrl.h>
#include <strsafe.h>
#include <wchar.h>
#include <wctype.h>

#include "platform/winnotify.h"
#include "platform/aygshell.h"
#include "platform/handheld.h"

// The handheld's entry point is WinMain with a wide command line: the shape the desktop
// calls wWinMain, while its own WinMain takes 8-bit text. The program's WinMain is
// therefore compiled under a name of its own, which the port's start-up code calls.
#define WinMain handheldWinMain
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);

// ---------------------------------------------------------------- adapted calls
// Each keeps the handheld's contract on the desktop (port/win32/registry.cpp, processes.cpp,
// strings.cpp, narrow.cpp, files.cpp).

// The handheld ignores the access mask, so the program asks for none (0); the desktop
// would grant a handle with no rights at all. 0 asks for reading and writing, or reading
// alone where the desktop refuses writing.
LONG WINAPI portRegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG WINAPI portRegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                                REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
#define RegOpenKeyExW portRegOpenKeyExW
#define RegCreateKeyExW portRegCreateKeyExW

// The handheld accepts null start-up and process-information records (it uses neither);
// the desktop needs both. The start is recorded.
BOOL WINAPI portCreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                               LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                               LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                               LPPROCESS_INFORMATION info);
#define CreateProcessW portCreateProcessW

// The handheld's CloseHandle also takes the handles of notification entries, which on the
// desktop are the port's own: closing one leaves its entry queued, as on the handheld.
BOOL WINAPI portCloseHandle(HANDLE handle);
#define CloseHandle portCloseHandle

// The handheld's C library maps case by Unicode's simple one-to-one pairs; the desktop's,
// in its default locale, only A to Z. The program's case-blind comparison and lowering
// follow the handheld's rules on the desktop too (port/win32/strings.cpp).
int __cdecl portWcsicmp(const WCHAR* a, const WCHAR* b);
WCHAR* __cdecl portWcslwr(WCHAR* text);
#define _wcsicmp portWcsicmp
#define _wcslwr portWcslwr

// The handheld writes a wide string in an 8-bit format ("%S") in its code page, a
// character it lacks as '?'; the desktop fails the whole call (port/win32/narrow.cpp).
HRESULT portStringCchPrintfA(char* dest, size_t cchDest, const char* format, ...);
#define StringCchPrintfA portStringCchPrintfA

// Without its high half, a move whose new position does not fit 32 bits fails on the
// handheld, as the platform documents; Wine makes it (port/win32/files.cpp).
DWORD WINAPI portSetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
#define SetFilePointer portSetFilePointer

// "aygshell.dll", the handheld's shell library, is the port's own on the desktop: loading
// it gives the port's module, whose "ExitWindowsEx" records the restart request.
HMODULE WINAPI portLoadLibraryW(LPCWSTR name);
BOOL WINAPI portFreeLibrary(HMODULE module);
#define LoadLibraryW portLoadLibraryW
#define FreeLibrary portFreeLibrary
