// Numbers of Quillex's resources and of the controls and commands they carry. Shared by
// the resource script and the program, so it holds plain numbers only.
#pragma once

// Strings.
#define IDS_APP_TITLE 1
#define IDS_APP_CLASS 3
#define IDS_TOOLS 104
#define IDS_CLEANUP 40006

// Icon, accelerators, bitmap.
#define IDI_QUILLEX 101
#define IDR_ACCELERATORS 3
#define IDB_BROOM 111

// The soft-key menu bar: its data resource and its menu share one number.
#define IDM_MENUBAR 102

// Dialogs.
#define IDD_ABOUT 103
#define IDD_MAIN 104
#define IDD_AUTOSTART 106

// Commands of the menu bar, its "Tools" menu and the accelerators.
#define IDM_TOOLS 40001
#define IDM_ABOUT 40003
#define IDM_CLEANUP 40004
#define IDM_EXIT 40007
#define IDM_EXPORT_LOG 40008
#define IDM_AUTOSTART 40010

// The About box's icon.
#define IDC_ABOUT_ICON 3

// Main dialog: check boxes and figures, one pair a row.
#define IDC_NOTIFICATIONS_CHECK 1001
#define IDC_NOTIFICATIONS_COUNT 1002
#define IDC_TEMP_SIZE 1003
#define IDC_TEMP_CHECK 1004
#define IDC_IECACHE_SIZE 1005
#define IDC_IECACHE_CHECK 1006
#define IDC_HISTORY_SIZE 1007
#define IDC_HISTORY_CHECK 1008
#define IDC_AVANTGO_SIZE 1009
#define IDC_AVANTGO_CHECK 1010

// Auto-start dialog. The action boxes for temporary files and the AvantGo cache reuse
// the main dialog's numbers.
#define IDC_AUTO_NOTIFICATIONS 1014
#define IDC_AUTO_TEMP 1004
#define IDC_AUTO_IECACHE 1016
#define IDC_AUTO_HISTORY 1017
#define IDC_AUTO_AVANTGO 1010
#define IDC_AUTO_SOFTRESET 1019
#define IDC_AUTO_TIME 1270
#define IDC_AUTO_ON_LABEL 1336
#define IDC_AUTO_AT_LABEL 1337
// Weekday letter cells: IDC_DAY_FIRST + k is weekday k (0 = Sunday ... 6 = Saturday).
#define IDC_DAY_FIRST 1299
#define IDC_DAY_SUNDAY 1299
#define IDC_DAY_MONDAY 1300
#define IDC_DAY_TUESDAY 1301
#define IDC_DAY_WEDNESDAY 1302
#define IDC_DAY_THURSDAY 1303
#define IDC_DAY_FRIDAY 1304
#define IDC_DAY_SATURDAY 1305
#define IDC_DAY_LAST 1305

// No control id.
#define IDC_STATIC (-1)
