// Window, dialog and control style values, and the menu-bar constants, that the resource
// script names. Only the resource compiler reads this file; the values are the platform's.
#pragma once

#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L

#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CAPTIONOKBTN 0x80000000L

#define DS_MODALFRAME 0x0080L
#define DS_SETFONT 0x0040L
#define DS_SETFOREGROUND 0x0200L
#define DS_CENTER 0x0800L

#define SS_LEFT 0x0000L
#define SS_CENTER 0x0001L
#define SS_ICON 0x0003L
#define SS_BITMAP 0x000EL
#define SS_NOPREFIX 0x0080L
#define SS_NOTIFY 0x0100L

#define BS_AUTOCHECKBOX 0x0003L

#define DTS_UPDOWN 0x0001L
#define DTS_TIMEFORMAT 0x0009L
#define DATETIMEPICK_CLASS "SysDateTimePick32"

// Accelerator keys are virtual keys; the resource compiler knows the modifiers itself.

// Menu-bar data words.
#define I_IMAGENONE (-2)
#define NOMENU 0xFFFF
#define TBSTATE_ENABLED 0x04
#define TBSTYLE_DROPDOWN 0x08
#define TBSTYLE_AUTOSIZE 0x10
