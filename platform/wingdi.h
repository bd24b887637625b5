// Drawing and cursors: brushes, the stock objects, device contexts handed out with
// WM_ERASEBKGND and WM_CTLCOLOR*, and the cursor shape. Nothing is drawn here; the
// device records what was asked for so its screen can show it.
#pragma once

#include "wintypes.h"
#include "winuser.h"
#include "winres.h"

typedef DWORD COLORREF;
typedef struct HDC__* HDC;
typedef void* HGDIOBJ;

// A colour value: red in the lowest byte, then green, then blue.
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | (((WORD)(BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)((c) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define CLR_INVALID 0xFFFFFFFF

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5

// Background modes of text.
#define TRANSPARENT 1
#define OPAQUE 2

// Cursors of the system.
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_WAIT MAKEINTRESOURCEW(32514)

// RETURNS a new brush of `colour`, or null (ERROR_NOT_ENOUGH_MEMORY).
HBRUSH WINAPI CreateSolidBrush(COLORREF colour);

// RETURNS the stock object `index` (the same handle every time; deleting it does nothing),
// or null for an unknown index.
HGDIOBJ WINAPI GetStockObject(int index);

// Deletes a brush made by CreateSolidBrush. RETURNS non-zero for a brush or a stock
// object; 0 for anything else (ERROR_INVALID_HANDLE).
BOOL WINAPI DeleteObject(HGDIOBJ object);

// Fills `rect` of the context's window with the brush's colour.
// RETURNS non-zero; 0 for a bad context, rectangle or brush.
int WINAPI FillRect(HDC context, const RECT* rect, HBRUSH brush);

// RETURNS the previous background mode (OPAQUE at first); 0 for a bad context or mode.
int WINAPI SetBkMode(HDC context, int mode);

// RETURNS the previous text colour (black at first); CLR_INVALID for a bad context.
COLORREF WINAPI SetTextColor(HDC context, COLORREF colour);

// With a null instance: the system cursor IDC_ARROW or IDC_WAIT. RETURNS its handle (the
// same every time), or null for any other (ERROR_RESOURCE_NAME_NOT_FOUND: this device has
// no cursors of its own or of the program).
HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name);

// Makes `cursor` the cursor shown (null: none). RETURNS the previous cursor.
HCURSOR WINAPI SetCursor(HCURSOR cursor);
