// Quillex: the process-wide state and the program's functions, grouped by the file
// that defines them. Every program file includes this header and platform/windows.h.
#pragma once

#include "platform/windows.h"

// ---------------------------------------------------------------- process-wide state

// The install directory, an empty string until resolveInstallDir fills it.
extern WCHAR installDir[MAX_PATH];

// ScheduleSettings: when and what the automatic run does, loaded from the registry by
// each reader itself (the registry, not memory, is the authority between processes).
extern int startDays;     // bit n set: run on weekday n (0 = Sunday ... 6 = Saturday)
extern int startTime;     // hours * 100 + minutes; below 1: the time of day when scheduling
extern int startOptions;  // the actions, one bit each (see the SCHEDULE_ constants)

// Window mode: the instance, the main window, the main dialog's soft-key bar and the
// shell's activation bookkeeping, all null or zero until window mode sets them.
extern HINSTANCE appInstance;
extern HWND mainWindow;
extern HWND menuBar;
extern SHACTIVATEINFO activationInfo;

// Posted once to the main window to open the main dialog.
#define WM_OPEN_MAIN_DIALOG (WM_APP + 0x33)

#define SCHEDULE_NOTIFICATIONS 0x01
#define SCHEDULE_TEMP 0x02
#define SCHEDULE_IE_CACHE 0x04
#define SCHEDULE_IE_HISTORY 0x08
#define SCHEDULE_AVANTGO 0x10
#define SCHEDULE_SOFT_RESET 0x20

// ---------------------------------------------------------------- app/installdir.cpp

// Fills the install directory from HKEY_LOCAL_MACHINE "Software\Apps\Holvenark Quillex"
// "InstallDir", or with "\Program Files\Quillex" when the key does not open.
void resolveInstallDir(void);

// The same two steps into a buffer of MAX_PATH characters of the caller's own.
void readInstallDir(WCHAR* buffer);

// ---------------------------------------------------------------- app/window.cpp

// The interactive program: initInstance, the accelerators, the posted
// WM_OPEN_MAIN_DIALOG and the message loop. RETURNS the exit code (0).
int runWindowMode(HINSTANCE instance, int showCommand);

// One interactive instance: RETURNS 1 when the main window exists and is shown; 0 when
// another instance runs (it is brought forward) or the window could not be created.
int initInstance(HINSTANCE instance, int showCommand);

// Registers the main window's class under `className`.
void registerWindowClass(HINSTANCE instance, const WCHAR* className);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The soft-key bar of menu-bar resource `menuBarId` for `parent`, or null when the shell
// refuses.
HWND createMenuBar(HWND parent, int menuBarId);

// ---------------------------------------------------------------- ui/maindialog.cpp

// The full-screen main dialog: five figures with their check boxes, the Cleanup soft key
// and the Tools menu. Its OK, Exit and Cancel end the program.
INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Writes the five figures of the main dialog, each as soon as it is measured: the number
// of notifications the platform holds, then the temporary files, browser cache, browser
// history and offline reader's cache.
void updateSizes(HWND dialog);

// The cleaning command: cleans the checked kinds in row order, refreshes the figures,
// starts "calnot.exe" and, 50 ms later, "clocknot.exe", then unchecks the boxes.
void runCleanup(HWND dialog);

// The About box: closes only with its caption's OK.
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------- ui/autostart.cpp

// The Auto-start dialog's weekday toggles (toggle k: weekday k, 0 = Sunday) and its two
// brushes; set afresh at every opening, kept after it closes.
extern int dayToggles[7];
extern HBRUSH darkBrush;
extern HBRUSH lightBrush;

// The Auto-start settings: weekday cells, time picker, six action boxes. There is no
// Cancel; OK saves the settings to the registry and closes.
INT_PTR CALLBACK autoStartDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------- ui/conversions.cpp

#define DARK_COLOUR RGB(7, 27, 149)               // selected letter cells; unselected letters
#define LIGHT_COLOUR RGB(220, 220, 230)           // the Auto-start dialog's background
#define SELECTED_LETTER_COLOUR RGB(240, 250, 240)

// A figure of bytes: "%.1f KB" up to and including one mebibyte, "%.1f MB" above.
void formatSizeText(DWORD bytes, WCHAR* text, size_t capacity);
// A count in decimal.
void formatCount(DWORD count, WCHAR* text, size_t capacity);

// Weekday toggles (0 or 1 each) from the bits 0-6 of startDays, and back.
void togglesFromDays(int days, int toggles[7]);
int daysFromToggles(const int toggles[7]);

// Puts the stored startTime (hours * 100 + minutes) into a clock reading's hour and minute.
// A time below 1, or one that is no time of day, leaves the reading as it is.
void pickerTimeFromStartTime(int time, SYSTEMTIME* now);
// The startTime of a picker's time: hours * 100 + minutes, seconds dropped.
int startTimeFromPickerTime(const SYSTEMTIME* time);

// The action boxes' states (BST_CHECKED or BST_UNCHECKED) from the bits 0-5 of
// startOptions, and back; only a state of exactly BST_CHECKED sets its bit.
void checksFromOptions(int options, int checks[6]);
int optionsFromChecks(const int checks[6]);

// The picker's format from the locale: clock flag "0" gives "h<sep>mm tt" (12-hour), any
// other "HH<sep>mm", <sep> being the separator's first character (a colon when empty).
void pickerFormat(const WCHAR* separator, const WCHAR* clockFlag, WCHAR* format, size_t capacity);

// The colours of a static control of the Auto-start dialog. RETURNS 1 when its
// background is the dark brush, 0 for the light one; *setsText tells whether *textColour
// was set (letter cells only: their text colour follows their toggle).
int staticColours(int controlId, const int toggles[7], COLORREF* textColour, int* setsText);

// ---------------------------------------------------------------- app/autorun.cpp

// The automatic run: performs the actions selected in startOptions, the soft reset last.
// RETURNS 1 when it has already registered the next automatic run (the kernel reset of
// older platforms ends the process, so it registers first), 0 when the caller must.
int runAutoStart(void);

// ---------------------------------------------------------------- settings/schedule.cpp

// Opens HKEY_CURRENT_USER "Software\Holvenark\Quillex" without creating it.
// RETURNS 1 with *key open, 0 when the key is missing.
int openScheduleKey(HKEY* key);

// Reads one schedule value into *value. Only a REG_DWORD of exactly 4 bytes counts; any
// other value, like a missing one, leaves *value as it was.
void readScheduleValue(HKEY key, const WCHAR* name, int* value);

// For the Auto-start dialog: opens the key (creating it when missing) and reads all three
// values, none zeroed first.
void loadScheduleSettings(void);

// For the Auto-start dialog: writes the three values and flushes the registry, so they
// survive a soft reset. Nothing is written when the key does not open.
void saveScheduleSettings(void);

// ---------------------------------------------------------------- settings/log.cpp

// Appends one line to "<install directory>\Quillex.log": a 17-character timestamp
// prefix, the text, "\r\n". Failures lose the line silently.
void writeLog(const char* text);

// ---------------------------------------------------------------- clean/sweep.cpp

// The cleaning operations take a mode flag (0 measures, anything else cleans) and return
// the bytes found, summed modulo 2^32, in measure mode and 0 in clean mode.

// Measures or empties one target folder, two levels deep; the folder itself stays.
DWORD sweepFolder(const WCHAR* folder, int flag);

// Deletes every file directly inside `path`, then removes `path` if that emptied it.
void removeFolder(const WCHAR* path);

// The sizes of the files directly inside `path`, modulo 2^32.
DWORD folderSize(const WCHAR* path);

// What a measuring sweep of `folder` counts beyond folderSize(folder): the files directly
// inside each of its sub-folders.
DWORD subFolderSizes(const WCHAR* folder);

// Reads a folder location `valueName` of an open key into `folder` (MAX_PATH characters),
// but only when it is a terminated string that names a folder below the root and leaves
// room for a search pattern; otherwise `folder` keeps what it held.
void queryFolderValue(HKEY key, const WCHAR* valueName, WCHAR* folder);

// ---------------------------------------------------------------- clean/temp.cpp

DWORD cleanupTemp(int flag);

// ---------------------------------------------------------------- clean/avantgo.cpp

DWORD cleanupAvantGo(int flag);

// ---------------------------------------------------------------- clean/browser.cpp

// The browser cache: "Cache" of the per-user shell folders, or "CachePath" of the
// machine-wide cache key only when the per-user key is missing, or
// "\Windows\Profiles\guest\Temporary Internet Files\Content.IE5". A per-user location
// that does not name an IE5 folder but holds "Content.IE5" gives way to it.
DWORD cleanupIECache(int flag);

// The browser history: "History" of the per-user shell folders, or the machine-wide
// "CachePath" only when the per-user key is missing, or "\Windows\Profiles\guest\History";
// then its "History.IE5" sub-folder, when the location does not name an IE5 folder. Every
// file counts once. Clean mode also empties HKEY_LOCAL_MACHINE "Explorer\RunHistory" and
// "Explorer\AddressHistory"; measuring never opens them.
DWORD cleanupHistory(int flag);

// Deletes the values of the HKEY_LOCAL_MACHINE key `subkey`, first to last; the key and its
// sub-keys stay. The walk ends at a value whose name (259 characters at most) or data
// (4200 bytes at most) does not fit, or that cannot be deleted; it and the values behind
// it stay. A key that does not open is left alone.
void clearHistoryList(const WCHAR* subkey);

// ---------------------------------------------------------------- notify/record.cpp

// A record read from the notification database: the buffer and the size it was read with.
struct NotificationRecord {
    const BYTE* buffer;
    DWORD size;
};

// Checked access to a record's parts. A pointer that leads outside the record, is
// misaligned, or a string without its terminator inside the record raises a record
// fault, which ends the guarded operation at once (see runUnderFaultGuard).
// Each returns null when the part or string is absent.
const CE_NOTIFICATION_TRIGGER* recordTrigger(const NotificationRecord* record);
const CE_USER_NOTIFICATION* recordUser(const NotificationRecord* record);
// Whether the record has a user-notification part, without reading that part.
int recordHasUser(const NotificationRecord* record);
const WCHAR* recordString(const NotificationRecord* record, const WCHAR* pointer);

// Runs `body(context)` and returns normally even when a record fault ends it early: the
// platform's fault guard, with a filter that accepts every fault and a handler that
// simply returns. RETURNS 1 when the body ran to its end, 0 when a fault ended it.
int runUnderFaultGuard(void (*body)(void* context), void* context);

// ---------------------------------------------------------------- notify/cleanup.cpp

// Clears duplicate, stale, far-future and unwanted entries of the notification queue and
// logs a summary; verbose also logs a description of every entry it keeps.
void cleanupNotifications(int verbose);

// The decision for one record, given the two records read before it (either may be
// null) and the limits taken from one clock reading. RETURNS 1 to remove, 0 to keep.
// May raise a record fault.
int shouldRemoveEntry(const NotificationRecord* entry, const NotificationRecord* previous,
                      const NotificationRecord* secondPrevious, const FILETIME* limit, int currentYear);

// Writes the description of a kept entry into `text` (`capacity` characters, at least 1),
// cut to fit. May raise a record fault.
void describeEntry(const NotificationRecord* entry, WCHAR* text, size_t capacity);

// ---------------------------------------------------------------- notify/remove.cpp

// Clears the auto-start entry registered earlier: the last entry, in delivery order, with
// arguments and an application whose path contains "quillex" in any case. Logs
// "removeNotifications" on every call.
void removeNotifications(void);

// ---------------------------------------------------------------- notify/schedule.cpp

// Removes the previous auto-start entry and registers the next automatic run, at the next
// selected weekday and time, when both startDays and startOptions are non-zero.
void checkAutoStart(void);

// The next run, from a clock reading (hour and minute) and a start record holding today's
// date, weekday, seconds and milliseconds. Sets the start record's hour and minute to the
// target (startTime below 1 keeps them), finds the day count (0-7; 7 when no later
// weekday is selected) into *dayCount and moves the start record that many days ahead.
// RETURNS 1; 0 when the target is no time of day (the start record is then unusable).
int nextStartTime(WORD clockHour, WORD clockMinute, SYSTEMTIME* start, int days, int time, int* dayCount);
