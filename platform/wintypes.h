// Base types, handles, error codes and constants of the device platform.
// Widths and values are the platform's: WCHAR is a 16-bit UTF-16 unit, so MAX_PATH
// characters take 520 bytes exactly as on the device. No host type appears here.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint64_t ULONGLONG;
typedef int32_t LONG;
typedef int16_t SHORT;
typedef uint32_t UINT;
typedef int32_t INT;
typedef LONG HRESULT;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef ULONG_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef char16_t WCHAR;
typedef char CHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef void* HANDLE;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Calling conventions of the platform's functions and of the procedures it calls back.
// The handheld's processors have one convention, so both are empty here; a 32-bit desktop
// build gives them their meaning.
#define WINAPI
#define CALLBACK

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

// Wide literals: the platform's L"..." is 16 bits wide, which u"..." is on every host.
#define TEXT(s) u##s

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define S_OK ((HRESULT)0)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// Error codes, as GetLastError reports them and the registry functions return them.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DIRECTORY 267L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L

// The calling thread's last error, set by the operations that document it.
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD error);

// Closes any handle the platform handed out (files, notifications, processes).
// RETURNS non-zero on success; 0 for a handle that is not open (last error
// ERROR_INVALID_HANDLE).
BOOL WINAPI CloseHandle(HANDLE handle);
