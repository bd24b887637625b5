// The handheld shell: full-screen dialogs with an OK button in the title bar, the soft-key
// menu bar at the bottom of the screen, and the shell's bookkeeping of activation and of
// the input panel. Only the handheld has this library: the header includes nothing and
// expects the base families (wintypes.h, winuser.h, wingdi.h) to be declared first.
#pragma once

typedef struct tagSHINITDLGINFO {
    DWORD dwMask;  // SHIDIM_FLAGS: dwFlags is valid
    HWND hDlg;
    DWORD dwFlags;  // SHIDIF_*
} SHINITDLGINFO, *PSHINITDLGINFO;

#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008

// Prepares a dialog for the handheld's screen: SHIDIF_DONEBUTTON gives it the title bar's
// OK button (WS_EX_CAPTIONOKBTN), SHIDIF_SIZEDLG and SHIDIF_SIZEDLGFULLSCREEN size it to the
// screen between the title bar and the menu bar, SHIDIF_SIPDOWN lowers the input panel.
// RETURNS non-zero; 0 for a null record (ERROR_INVALID_PARAMETER) or a dialog that is not a
// window (ERROR_INVALID_WINDOW_HANDLE).
BOOL WINAPI SHInitDialog(PSHINITDLGINFO info);

typedef struct tagSHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;  // the menu-bar data resource (RT_RCDATA) and its menu (RT_MENU)
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;  // out: the bar
    COLORREF clrBk;
} SHMENUBARINFO, *PSHMENUBARINFO;

// Menu-bar data: a button without a pop-up (its image and styles are commctrl.h's).
#define NOMENU 0xFFFF

// Creates the soft-key bar of `info->hwndParent` from the menu-bar data `nToolBarId` of
// `hInstRes`: one button a listed button, labelled with its string. A button without a
// pop-up sends its parent WM_COMMAND with its command id (lParam the bar); a button with
// one opens that pop-up of the menu the data names, whose items send WM_COMMAND with
// their ids (lParam 0). The bar goes with its parent.
// RETURNS non-zero with the bar in hwndMB; 0 with hwndMB null for a null record or parent
// (ERROR_INVALID_PARAMETER) or missing or unreadable resources (ERROR_RESOURCE_NAME_NOT_FOUND).
BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* info);

typedef struct tagSHACTIVATEINFO {
    DWORD cbSize;
    HWND hwndLastFocus;
    UINT fSipUp : 1;
    UINT fSipOnDeactivation : 1;
    UINT fActive : 1;
    UINT fReserved : 29;
} SHACTIVATEINFO, *PSHACTIVATEINFO;

// The setting-change code that concerns the input panel.
#define SPI_SETSIPINFO 224

// The shell's part of WM_ACTIVATE: on deactivation it notes the focus and whether the input
// panel was up; on activation it raises or lowers the panel as it was. fActive follows
// the window. RETURNS non-zero; 0 for a null record (ERROR_INVALID_PARAMETER).
BOOL WINAPI SHHandleWMActivate(HWND window, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info, DWORD flags);

// The shell's part of WM_SETTINGCHANGE: SPI_SETSIPINFO records in fSipUp whether the input
// panel is up (when the window is active). RETURNS non-zero; 0 for a null record
// (ERROR_INVALID_PARAMETER).
BOOL WINAPI SHHandleWMSettingChange(HWND window, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info);
