// The notification database: the queue of alarms, timed program starts and
// event-triggered program starts. A record read from it is one contiguous buffer: the
// header, then the trigger, the user-notification part and every string, with each
// pointer leading inside the buffer or null. Only the handheld has this database: the
// header includes nothing and expects the base families (wintypes.h, wintime.h) first.
#pragma once

// Trigger types (dwType).
#define CNT_EVENT 1
#define CNT_TIME 2
#define CNT_PERIOD 3
#define CNT_CLASSICTIME 4

typedef struct UserNotificationTrigger {
    DWORD dwSize;  // sizeof(CE_NOTIFICATION_TRIGGER)
    DWORD dwType;
    DWORD dwEvent;
    WCHAR* lpszApplication;
    WCHAR* lpszArguments;
    SYSTEMTIME stStartTime;
    SYSTEMTIME stEndTime;
} CE_NOTIFICATION_TRIGGER, *PCE_NOTIFICATION_TRIGGER;

typedef struct UserNotificationType {
    DWORD ActionFlags;
    WCHAR* pwszDialogTitle;
    WCHAR* pwszDialogText;
    WCHAR* pwszSound;
    DWORD nMaxSound;
    DWORD dwReserved;
} CE_USER_NOTIFICATION, *PCE_USER_NOTIFICATION;

typedef struct UserNotificationInfoHeader {
    HANDLE hNotification;
    DWORD dwStatus;
    CE_NOTIFICATION_TRIGGER* pcent;
    CE_USER_NOTIFICATION* pceun;
} CE_NOTIFICATION_INFO_HEADER, *PCE_NOTIFICATION_INFO_HEADER;

// Lists the queue in delivery order (the order entries were added).
// With handles null and capacity 0: RETURNS non-zero with *needed = the number of entries.
// With an array: RETURNS non-zero, the array filled with up to `capacity` handles and
// *needed = the number delivered (never more than capacity).
BOOL WINAPI CeGetUserNotificationHandles(HANDLE* handles, DWORD capacity, LPDWORD needed);

// Reads one entry's record.
// With a buffer of at least the record's size: RETURNS non-zero, the record in the
// buffer (its pointers lead into that buffer) and *needed = its size.
// With a smaller or no buffer: RETURNS 0 (ERROR_INSUFFICIENT_BUFFER) with *needed = the
// record's size, the buffer untouched. For a handle that names no entry: RETURNS 0
// (ERROR_INVALID_HANDLE) with *needed = 0.
BOOL WINAPI CeGetUserNotification(HANDLE notification, DWORD bufferSize, LPDWORD needed, LPBYTE buffer);

// Removes an entry. RETURNS non-zero when it existed.
BOOL WINAPI CeClearUserNotification(HANDLE notification);

// With notification 0: adds an entry with the trigger and, when given, the
// user-notification part, behind every existing entry. With a handle: replaces that
// entry in place. RETURNS the entry's handle, which the caller may pass to CloseHandle;
// null on failure. A handle is a non-zero 32-bit value that the device never reuses.
HANDLE WINAPI CeSetUserNotificationEx(HANDLE notification, CE_NOTIFICATION_TRIGGER* trigger,
                                      CE_USER_NOTIFICATION* user);
