// A program's resources: strings, icons, bitmaps, accelerator tables and the raw data
// of dialogs, menus and other typed resources, found by type and name in the module
// the program was started from. Resource data is read-only and lives as long as the process.
#pragma once

#include "wintypes.h"
#include "winuser.h"

typedef struct HBITMAP__* HBITMAP;
typedef struct HACCEL__* HACCEL;
typedef struct HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;

// A resource name or type is either a string or a 16-bit number carried in the pointer.
#define MAKEINTRESOURCEW(i) ((LPWSTR)(ULONG_PTR)(WORD)(i))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(p) ((((ULONG_PTR)(p)) >> 16) == 0)

#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)

// Accelerator flags (ACCEL::fVirt).
#define FVIRTKEY 0x01
#define FNOINVERT 0x02
#define FSHIFT 0x04
#define FCONTROL 0x08
#define FALT 0x10

typedef struct tagACCEL {
    BYTE fVirt;  // FVIRTKEY, FSHIFT, FCONTROL, FALT, FNOINVERT
    WORD key;    // a virtual key with FVIRTKEY, else a character
    WORD cmd;    // the command id WM_COMMAND carries
} ACCEL, *LPACCEL;

#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

// Every function below takes the instance handle WinMain received; null stands for the
// same module, except in LoadIconW. Any other module fails with
// ERROR_RESOURCE_DATA_NOT_FOUND.

// Copies string `id` of the string table into `buffer` of `bufferChars` characters,
// truncated to bufferChars - 1 characters and always zero-terminated.
// With bufferChars 0, `buffer` is taken as an LPWSTR* and receives a read-only pointer
// to the string itself, which is NOT zero-terminated.
// RETURNS the number of characters copied (or the string's length, with bufferChars 0),
// not counting the terminator; 0 for an empty or missing string. A string whose block
// of 16 does not exist leaves the buffer untouched (last error
// ERROR_RESOURCE_NAME_NOT_FOUND); a missing string of an existing block reads as empty.
int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferChars);

// RETURNS the icon group `name` (all its images; the screen picks the size it draws),
// or null (ERROR_RESOURCE_NAME_NOT_FOUND). The icon belongs to the module: it is the
// same handle at every call and is never destroyed. A null instance asks for the
// system's own icons, of which this device has none.
HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name);

// RETURNS bitmap `name`, or null (ERROR_RESOURCE_NAME_NOT_FOUND). As icons, it belongs
// to the module; deleting it has no effect.
HBITMAP WINAPI LoadBitmapW(HINSTANCE instance, LPCWSTR name);

// RETURNS accelerator table `name`, or null (ERROR_RESOURCE_NAME_NOT_FOUND). The same
// table gives the same handle; it lives as long as the process.
HACCEL WINAPI LoadAcceleratorsW(HINSTANCE instance, LPCWSTR name);

// Turns a key message that an entry of `table` names (with exactly its Ctrl, Shift and Alt
// state for a virtual-key entry) into WM_COMMAND for `window`, wParam MAKEWPARAM(command, 1),
// sent at once. RETURNS non-zero when it did; 0 for any other message.
int WINAPI TranslateAcceleratorW(HWND window, HACCEL table, LPMSG message);

// Finds the resource of `type` named `name`; both are MAKEINTRESOURCEW numbers or
// strings (matched ignoring case; "#102" stands for the number 102).
// RETURNS its handle, or null with ERROR_RESOURCE_TYPE_NOT_FOUND when the module holds
// nothing of that type, ERROR_RESOURCE_NAME_NOT_FOUND when not that name.
HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);

// RETURNS the data of a found resource (its bytes, laid out as the platform stores
// them, little-endian and 4-byte aligned), or null for an unknown handle
// (ERROR_INVALID_HANDLE). Nothing needs to be freed.
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);

// RETURNS a pointer to the bytes of loaded data: `data` itself; null for null.
LPVOID WINAPI LockResource(HGLOBAL data);

// RETURNS the size in bytes of a found resource; 0 for an unknown handle.
DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
