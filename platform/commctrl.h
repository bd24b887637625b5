// The common controls: their registration, and the date-and-time picker, which shows a
// time in a format of fields the user steps through and changes with keys.
#pragma once

#include "wintime.h"
#include "wintypes.h"
#include "winuser.h"

typedef struct tagINITCOMMONCONTROLSEX {
    DWORD dwSize;  // sizeof(INITCOMMONCONTROLSEX)
    DWORD dwICC;   // ICC_* classes to register
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

#define ICC_DATE_CLASSES 0x00000100

// Tool-bar buttons, as the soft-key bar's data describes them: an image of none, the
// enabled state, a button with a pop-up, a button sized to its label.
#define I_IMAGENONE (-2)
#define TBSTATE_ENABLED 0x04
#define TBSTYLE_DROPDOWN 0x08
#define TBSTYLE_AUTOSIZE 0x10

// Registers the classes `init->dwICC` names; of them this device has the date classes,
// which register the date-and-time picker class DATETIMEPICK_CLASSW. Harmless to repeat.
// RETURNS non-zero; 0 for a null record or a wrong dwSize (ERROR_INVALID_PARAMETER).
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

#define DATETIMEPICK_CLASSW TEXT("SysDateTimePick32")

// Picker styles.
#define DTS_UPDOWN 0x0001L
#define DTS_SHOWNONE 0x0002L
#define DTS_TIMEFORMAT 0x0009L

// Picker messages. The picker holds one valid SYSTEMTIME (the current local time when it is
// created). DTM_SETFORMATW (lParam: the format, null for the locale's time format) chooses
// the fields shown: h/hh hour 1-12, H/HH hour 0-23 (two letters: two digits), m/mm
// minutes, s/ss seconds, t/tt the AM/PM designator, text in single quotes and any other
// character as it stands. DTM_SETSYSTEMTIME (wParam GDT_VALID, lParam the time) replaces
// the time when its fields are in range; DTM_GETSYSTEMTIME copies it out. Left and Right
// choose a field, Up and Down step it (wrapping; the designator switches), digits type it
// (a second digit that still makes a valid value completes it), and in the designator A and
// P choose the morning or the afternoon. WM_GETTEXT reads the time as shown.
#define DTM_FIRST 0x1000
#define DTM_GETSYSTEMTIME (DTM_FIRST + 1)
#define DTM_SETSYSTEMTIME (DTM_FIRST + 2)
#define DTM_SETFORMATW (DTM_FIRST + 50)

// DTM_GETSYSTEMTIME results and DTM_SETSYSTEMTIME flags.
#define GDT_ERROR (-1)
#define GDT_VALID 0
#define GDT_NONE 1
