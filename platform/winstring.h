// Wide (UTF-16) and 8-bit string helpers of the platform's C library and its safe
// string functions. Case rules are the device's: simple one-to-one Unicode case
// mapping, independent of any host locale.
#pragma once

#include "wintypes.h"

// Results of the StringCch functions.
#define STRSAFE_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007AL)
#define STRSAFE_E_INVALID_PARAMETER ((HRESULT)0x80070057L)

// Length in characters, terminator excluded.
size_t wcslen(const WCHAR* s);

// First occurrence of `needle` in `haystack`, comparing characters exactly;
// null when absent. An empty needle is found at the start.
const WCHAR* wcsstr(const WCHAR* haystack, const WCHAR* needle);
WCHAR* wcsstr(WCHAR* haystack, const WCHAR* needle);

// Compares whole strings ignoring case. RETURNS <0, 0 or >0.
int _wcsicmp(const WCHAR* a, const WCHAR* b);

// Lower-cases `s` in place and returns it.
WCHAR* _wcslwr(WCHAR* s);

// The upper- and lower-case forms of one character (unchanged when it has none).
WCHAR towlower(WCHAR c);
WCHAR towupper(WCHAR c);

// Copies `src` into `dest` of `cchDest` characters.
// RETURNS S_OK; STRSAFE_E_INSUFFICIENT_BUFFER when it had to cut the copy (dest then
// holds the cut, terminated text); STRSAFE_E_INVALID_PARAMETER when cchDest is 0
// (dest untouched). dest is always terminated when cchDest > 0.
HRESULT StringCchCopyW(WCHAR* dest, size_t cchDest, const WCHAR* src);

// Appends `src` to the terminated text in `dest`; results as StringCchCopyW.
// A dest holding no terminator within cchDest gives STRSAFE_E_INVALID_PARAMETER.
HRESULT StringCchCatW(WCHAR* dest, size_t cchDest, const WCHAR* src);

// Length of `s` when it is terminated within `cchMax` characters.
// RETURNS S_OK with *length set, or STRSAFE_E_INVALID_PARAMETER when no terminator
// lies in the first cchMax characters (*length then 0).
HRESULT StringCchLengthW(const WCHAR* s, size_t cchMax, size_t* length);

// printf-style formatting that never writes past `cchDest` characters and always
// terminates the result (when cchDest > 0).
// Conversions: %s (wide string in the W form, 8-bit in the A form), %S (the other
// width), %c (character of the form's width), %d %i %u %x %X (32-bit integers),
// %ld %lu (same), %lld %llu %I64d %I64u (64-bit), %f with precision (double), %p, %%;
// flags '-', '0', '+', ' ', a width and a precision, each also as '*'.
// A null string prints as "(null)". An unknown conversion is copied as it stands.
// RETURNS S_OK, or STRSAFE_E_INSUFFICIENT_BUFFER when the text was cut to fit,
// or STRSAFE_E_INVALID_PARAMETER when cchDest is 0.
HRESULT StringCchPrintfW(WCHAR* dest, size_t cchDest, const WCHAR* format, ...);
HRESULT StringCchPrintfA(char* dest, size_t cchDest, const char* format, ...);
