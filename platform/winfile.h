// The device file system. Paths are absolute and '\'-separated with no drive letter
// ("\Temp\a.txt"); names match case-insensitively and keep the case they were
// created with. Sharing modes hold between all processes that use one device.
#pragma once

#include "wintypes.h"
#include "wintime.h"

#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL

#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001UL
#define FILE_ATTRIBUTE_HIDDEN 0x00000002UL
#define FILE_ATTRIBUTE_SYSTEM 0x00000004UL
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010UL
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020UL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFUL
#define INVALID_FILE_SIZE 0xFFFFFFFFUL
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFUL

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// Opens or creates a file. `access` is GENERIC_READ and/or GENERIC_WRITE, `share` the
// access other handles may have at the same time.
// RETURNS a file handle, or INVALID_HANDLE_VALUE with the last error set:
// ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND for a missing file or folder (and for
// any path that is not a valid device path), ERROR_ACCESS_DENIED for a folder, or
// for write access to a read-only file, ERROR_SHARING_VIOLATION when the file's
// other handles and this request do not admit each other.
// NOTES: OPEN_ALWAYS sets the last error to ERROR_ALREADY_EXISTS when the file existed.
HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);

// RETURNS non-zero with *bytesRead set (0 at the end of the file); 0 on failure.
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPVOID overlapped);

// Writes at the file pointer and advances it.
// RETURNS non-zero with *bytesWritten set; 0 on failure (no write access, storage full).
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPVOID overlapped);

// RETURNS the low 32 bits of the size, the high ones in *sizeHigh when it is given;
// INVALID_FILE_SIZE on failure.
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);

// Moves the file pointer. RETURNS the new position's low 32 bits, or
// INVALID_SET_FILE_POINTER on failure.
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod);

// Puts the file's data on storage. RETURNS non-zero on success.
BOOL WINAPI FlushFileBuffers(HANDLE file);

// Deletes a file. Fails without effect (RETURNS 0) for a folder, a read-only file,
// a file that any handle holds open, or a missing file.
BOOL WINAPI DeleteFileW(LPCWSTR path);

// Creates one folder. RETURNS 0 when it exists already or its parent is missing.
BOOL WINAPI CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);

// Removes an empty folder. Fails without effect (RETURNS 0) for a folder that holds
// anything, for a file, and for a missing path.
BOOL WINAPI RemoveDirectoryW(LPCWSTR path);

// RETURNS the attributes of what lies at `path`, or INVALID_FILE_ATTRIBUTES when
// nothing does.
DWORD WINAPI GetFileAttributesW(LPCWSTR path);

// Starts listing the folder part of `pattern` ("\Temp\*"; the last component may use
// '*' and '?', matched ignoring case). Entries come one by one; "." and ".." never
// appear; hidden, system and read-only entries do; FILE_ATTRIBUTE_DIRECTORY marks real
// folders only. Deleting entries while listing does not disturb the listing.
// RETURNS a search handle with the first entry in *data, or INVALID_HANDLE_VALUE when
// the folder is missing, unreadable or holds no matching entry.
HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);

// RETURNS non-zero with the next entry in *data; 0 when none is left
// (last error ERROR_NO_MORE_FILES).
BOOL WINAPI FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data);

// Ends a search. RETURNS non-zero on success.
BOOL WINAPI FindClose(HANDLE search);

#define ERROR_NO_MORE_FILES 18L
