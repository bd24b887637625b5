// Locale information: the regional settings of the device the program reads, kept as
// device settings whose defaults come from the host's locale.
#pragma once

#include "wintypes.h"

typedef DWORD LCID;
typedef DWORD LCTYPE;

#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_STIME 0x0000001E  // the time separator, e.g. ":"
#define LOCALE_ITIME 0x00000023  // "0": 12-hour clock, "1": 24-hour clock

// Copies the value of `type` for the user's or the system's locale (both are the device's)
// into `data`, zero-terminated. With `dataChars` 0 nothing is copied.
// RETURNS the characters written including the terminator (with dataChars 0: the number
// needed); 0 for an unknown locale or type (ERROR_INVALID_PARAMETER) or a buffer too small
// (ERROR_INSUFFICIENT_BUFFER).
int WINAPI GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int dataChars);
