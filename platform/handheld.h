// The handheld kernel's own names that a desktop system does not have: its platform id, the
// wide lookup of a library's entry points, the kernel's control requests and the title
// bar's OK button. Like winnotify.h and aygshell.h it includes nothing and expects the base
// families (wintypes.h, winproc.h) to be declared first.
#pragma once

// GetVersionExW's dwPlatformId on the handheld.
#define VER_PLATFORM_WIN32_CE 3

// A top-level window with an OK button in the title bar; pressing it sends WM_COMMAND IDOK.
#define WS_EX_CAPTIONOKBTN 0x80000000L

// RETURNS the entry point `name` of the module, or null when it has none.
FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR name);

#define IOCTL_HAL_REBOOT 0x0101003CUL

// Asks the kernel for a device operation. IOCTL_HAL_REBOOT resets the device at once:
// the call does not return to the caller. RETURNS 0 for requests the device does not know.
BOOL WINAPI KernelIoControl(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned);
