// The device registry: keys under four roots, named and matched case-insensitively,
// each holding typed values. Writes are visible to every process on the device at
// once; RegFlushKey makes them durable.
#pragma once

#include "wintypes.h"
#include "wintime.h"

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000UL)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001UL)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002UL)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003UL)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define KEY_ALL_ACCESS 0xF003F

// Opens an existing key below `key` (a root or an open key); never creates.
// `subKey` null or empty opens `key` itself again.
// RETURNS ERROR_SUCCESS with *result set; ERROR_FILE_NOT_FOUND when a key on the way
// is missing; ERROR_INVALID_HANDLE for a key that is not open.
LONG WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);

// Opens `subKey`, creating it and every missing key on the way.
// RETURNS ERROR_SUCCESS with *result set and *disposition (when given) telling
// REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
LONG WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                            REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);

// Reads a value (null or empty name: the key's default value).
// With data null and *dataSize given: RETURNS ERROR_SUCCESS with the value's size.
// With a buffer: copies the stored bytes as they are (a string is not terminated when it
// was stored without its terminator). A buffer smaller than the value: RETURNS
// ERROR_MORE_DATA, *dataSize set to the size needed, the buffer untouched.
// A missing value: ERROR_FILE_NOT_FOUND, nothing touched. *type is set when given.
LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize);

// Creates or replaces a value with `dataSize` bytes of `data`.
// RETURNS ERROR_SUCCESS, or ERROR_INVALID_HANDLE for a key that is not open.
LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                           const BYTE* data, DWORD dataSize);

// Reads the value at position `index` (positions in creation order).
// *nameLength is the name buffer's size in characters on entry, the name's length
// without terminator on return; *dataSize likewise in bytes (data may be null).
// RETURNS ERROR_SUCCESS; ERROR_NO_MORE_ITEMS when no value is at `index`;
// ERROR_MORE_DATA when the name (with its terminator) or the data do not fit, the
// buffers then untouched.
LONG WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                          LPDWORD type, LPBYTE data, LPDWORD dataSize);

// Deletes a value; the values behind it move up one position.
// RETURNS ERROR_SUCCESS, or ERROR_FILE_NOT_FOUND when there is no such value.
LONG WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName);

// Deletes a key that has no sub-keys, with its values.
// RETURNS ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, or ERROR_ACCESS_DENIED when it has sub-keys.
LONG WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey);

// Reads the name of the sub-key at `index`; *nameLength as in RegEnumValueW.
LONG WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                          LPWSTR keyClass, LPDWORD classLength, FILETIME* lastWriteTime);

// Makes every change to the registry durable before it returns. RETURNS ERROR_SUCCESS.
LONG WINAPI RegFlushKey(HKEY key);

// Closes an open key; closing a root is allowed and does nothing.
LONG WINAPI RegCloseKey(HKEY key);
