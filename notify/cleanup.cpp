// Notification queue cleanup: one pass over the queue in delivery order that decides,
// entry by entry, what is worth keeping, then clears everything else and logs a
// summary. Duplicates are found among neighbours only: each entry is compared with the
// two records read just before it.
#include "app/quillex.h"

namespace {

const ULONGLONG kOneDay = 864000000000ULL;

const WCHAR* triggerApplication(const NotificationRecord* record, const CE_NOTIFICATION_TRIGGER* trigger) {
    return recordString(record, trigger->lpszApplication);
}

const WCHAR* triggerArguments(const NotificationRecord* record, const CE_NOTIFICATION_TRIGGER* trigger) {
    return recordString(record, trigger->lpszArguments);
}

bool isEventEntry(const CE_NOTIFICATION_TRIGGER* trigger) { return trigger && trigger->dwType == CNT_EVENT; }

bool isTimeEntry(const CE_NOTIFICATION_TRIGGER* trigger) {
    return trigger && (trigger->dwType == CNT_TIME || trigger->dwType == CNT_CLASSICTIME);
}

bool absentOrEmpty(const WCHAR* text) { return !text || !text[0]; }

// A start time that is no calendar date cannot be converted; it counts as the earliest
// instant, so such an entry, which can never fire, is treated as long past.
ULONGLONG startInstant(const CE_NOTIFICATION_TRIGGER* trigger) {
    FILETIME instant = {0, 0};
    SystemTimeToFileTime(&trigger->stStartTime, &instant);
    return (static_cast<ULONGLONG>(instant.dwHighDateTime) << 32) | instant.dwLowDateTime;
}

// A window record is comparable with the entry when both have a trigger with an
// application and the two applications are equal ignoring case.
bool isComparable(const NotificationRecord* window, const NotificationRecord* entry) {
    if (!window) return false;
    const CE_NOTIFICATION_TRIGGER* windowTrigger = recordTrigger(window);
    const CE_NOTIFICATION_TRIGGER* entryTrigger = recordTrigger(entry);
    if (!windowTrigger || !entryTrigger) return false;
    const WCHAR* windowApplication = triggerApplication(window, windowTrigger);
    const WCHAR* entryApplication = triggerApplication(entry, entryTrigger);
    return windowApplication && entryApplication && _wcsicmp(windowApplication, entryApplication) == 0;
}

bool isDuplicateOf(const NotificationRecord* entry, const NotificationRecord* window) {
    const CE_NOTIFICATION_TRIGGER* entryTrigger = recordTrigger(entry);
    const CE_NOTIFICATION_TRIGGER* windowTrigger = recordTrigger(window);
    const WCHAR* entryArguments = triggerArguments(entry, entryTrigger);
    const WCHAR* windowArguments = triggerArguments(window, windowTrigger);

    if (entryTrigger->dwType == CNT_EVENT) {
        return windowTrigger->dwType == CNT_EVENT && windowTrigger->dwEvent == entryTrigger->dwEvent &&
               (!entryArguments || !windowArguments || _wcsicmp(entryArguments, windowArguments) == 0);
    }

    if (startInstant(entryTrigger) != startInstant(windowTrigger)) return false;
    if (entryArguments && windowArguments) return _wcsicmp(entryArguments, windowArguments) == 0;
    // The user parts are read only when both are there and their texts decide.
    bool entryHasUser = recordHasUser(entry);
    bool windowHasUser = recordHasUser(window);
    if (entryHasUser && windowHasUser) {
        const WCHAR* entryText = recordString(entry, recordUser(entry)->pwszDialogText);
        const WCHAR* windowText = recordString(window, recordUser(window)->pwszDialogText);
        return entryText && windowText && _wcsicmp(entryText, windowText) == 0;
    }
    if (entryHasUser) return false;
    return !windowHasUser;
}

// Appends `text` when it is present; the cut at the buffer's end is silent.
void appendText(WCHAR* text, size_t capacity, const WCHAR* part) {
    if (part) StringCchCatW(text, capacity, part);
}

// Everything one pass holds, so that an early end can release it all.
struct CleanupPass {
    int verbose;
    DWORD entryCount;     // from the first handle query, printed as "items"
    HANDLE* handles;      // one slot per entry; 0 means keep
    DWORD walkEnd;        // slots before this one are settled
    BYTE* previous;       // the comparison window: the newest record read ...
    DWORD previousSize;
    BYTE* secondPrevious; // ... and the one before it
    DWORD secondPreviousSize;
    BYTE* current;
};

void releasePass(CleanupPass* pass) {
    LocalFree(pass->current);
    LocalFree(pass->previous);
    LocalFree(pass->secondPrevious);
    LocalFree(pass->handles);
    pass->current = pass->previous = pass->secondPrevious = nullptr;
    pass->handles = nullptr;
}

void logDescription(const NotificationRecord* entry) {
    WCHAR text[500];
    char narrow[500];
    for (WCHAR& c : text) c = 0;
    describeEntry(entry, text, 500);
    StringCchPrintfA(narrow, sizeof narrow, "%S", text);
    writeLog(narrow);
}

// Reads and judges the entries in delivery order; stops early when a record cannot be
// allocated or read, leaving that entry and the ones after it alone.
void judgeEntries(CleanupPass* pass, DWORD delivered) {
    SYSTEMTIME now;
    FILETIME nowInstant = {0, 0};
    GetLocalTime(&now);
    SystemTimeToFileTime(&now, &nowInstant);
    ULONGLONG limitCount = ((static_cast<ULONGLONG>(nowInstant.dwHighDateTime) << 32) | nowInstant.dwLowDateTime) - kOneDay;
    FILETIME limit = {static_cast<DWORD>(limitCount), static_cast<DWORD>(limitCount >> 32)};

    for (DWORD slot = 0; slot < delivered; ++slot) {
        DWORD size = 0;
        if (!CeGetUserNotification(pass->handles[slot], 0, &size, nullptr) && size == 0) {
            pass->walkEnd = slot + 1;  // never read: its handle stays, so it is cleared
            continue;
        }
        // A size with no room for the extra byte cannot be read: as if it could not be allocated.
        if (size == 0xFFFFFFFF) return;
        pass->current = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, static_cast<size_t>(size) + 1));
        if (!pass->current) return;
        DWORD readSize = 0;
        if (!CeGetUserNotification(pass->handles[slot], size + 1, &readSize, pass->current)) {
            LocalFree(pass->current);
            pass->current = nullptr;
            return;
        }
        pass->walkEnd = slot + 1;
        // The entry may have changed since its size was asked: only what the read
        // delivered counts as the record.
        DWORD recordSize = readSize < size + 1 ? readSize : size + 1;

        NotificationRecord entry = {pass->current, recordSize};
        NotificationRecord previous = {pass->previous, pass->previousSize};
        NotificationRecord secondPrevious = {pass->secondPrevious, pass->secondPreviousSize};
        if (!shouldRemoveEntry(&entry, pass->previous ? &previous : nullptr,
                               pass->secondPrevious ? &secondPrevious : nullptr, &limit, now.wYear)) {
            if (pass->verbose) logDescription(&entry);
            pass->handles[slot] = 0;
        }

        LocalFree(pass->secondPrevious);
        pass->secondPrevious = pass->previous;
        pass->secondPreviousSize = pass->previousSize;
        pass->previous = pass->current;
        pass->previousSize = recordSize;
        pass->current = nullptr;
    }
}

void runCleanupPass(void* context) {
    CleanupPass* pass = static_cast<CleanupPass*>(context);
    DWORD count = 0;
    if (!CeGetUserNotificationHandles(nullptr, 0, &count) || count == 0) return;
    pass->entryCount = count;
    pass->handles = static_cast<HANDLE*>(LocalAlloc(LPTR, static_cast<size_t>(count) * sizeof(HANDLE)));
    if (!pass->handles) return;
    DWORD delivered = 0;
    if (!CeGetUserNotificationHandles(pass->handles, count, &delivered)) return;
    if (delivered > count) delivered = count;

    judgeEntries(pass, delivered);
    LocalFree(pass->previous);
    LocalFree(pass->secondPrevious);
    pass->previous = pass->secondPrevious = nullptr;

    int removed = 0;
    for (DWORD slot = 0; slot < pass->walkEnd; ++slot) {
        if (pass->handles[slot]) {
            CeClearUserNotification(pass->handles[slot]);
            ++removed;
        }
    }
    LocalFree(pass->handles);
    pass->handles = nullptr;

    char summary[100];
    StringCchPrintfA(summary, sizeof summary, "cleanupNotifications: %d items, removed: %d",
                     static_cast<int>(pass->entryCount), removed);
    writeLog(summary);
}

}  // namespace

int shouldRemoveEntry(const NotificationRecord* entry, const NotificationRecord* previous,
                      const NotificationRecord* secondPrevious, const FILETIME* limit, int currentYear) {
    const CE_NOTIFICATION_TRIGGER* trigger = recordTrigger(entry);
    if (isEventEntry(trigger)) {
        const WCHAR* application = triggerApplication(entry, trigger);
        const WCHAR* arguments = triggerArguments(entry, trigger);
        if (application && _wcsicmp(application, TEXT("connmgr.exe")) == 0) return 1;
        if (application && wcsstr(application, TEXT("sstimechange"))) return 1;
        if (absentOrEmpty(application) || absentOrEmpty(arguments)) return 1;
    }
    if (isTimeEntry(trigger)) {
        const WCHAR* application = triggerApplication(entry, trigger);
        if (application && wcsstr(application, TEXT("NamedEvents\\SCRIPT:"))) return 1;
    }
    // Only when the newest window record is not comparable does the one before it count.
    if (isComparable(previous, entry)) {
        if (isDuplicateOf(entry, previous)) return 1;
    } else if (isComparable(secondPrevious, entry)) {
        if (isDuplicateOf(entry, secondPrevious)) return 1;
    }
    if (isTimeEntry(trigger)) {
        FILETIME start;
        ULONGLONG instant = startInstant(trigger);
        start.dwLowDateTime = static_cast<DWORD>(instant);
        start.dwHighDateTime = static_cast<DWORD>(instant >> 32);
        if (CompareFileTime(&start, limit) < 0) return 1;
        if (trigger->stStartTime.wYear > currentYear + 2) return 1;
    }
    return 0;
}

void describeEntry(const NotificationRecord* entry, WCHAR* text, size_t capacity) {
    text[0] = 0;
    const CE_NOTIFICATION_TRIGGER* trigger = recordTrigger(entry);
    if (!trigger) {
        // Nothing to say of when or what it starts; its dialog, if any, identifies it.
        StringCchCopyW(text, capacity, TEXT("no trigger; "));
    } else if (trigger->dwType == CNT_EVENT) {
        StringCchCopyW(text, capacity, TEXT("E: "));
        appendText(text, capacity, triggerApplication(entry, trigger));
        appendText(text, capacity, TEXT(", "));
        appendText(text, capacity, triggerArguments(entry, trigger));
        return;
    } else {
        const SYSTEMTIME* start = &trigger->stStartTime;
        StringCchPrintfW(text, capacity, TEXT("%02d/%02d %02d:%02d:%02d -> %d, "), start->wDay, start->wMonth,
                         start->wHour, start->wMinute, start->wSecond, static_cast<int>(trigger->dwType));
        appendText(text, capacity, triggerApplication(entry, trigger));
        appendText(text, capacity, TEXT(", "));
        appendText(text, capacity, triggerArguments(entry, trigger));
        appendText(text, capacity, TEXT("; "));
    }
    // Event descriptions have returned above: the user part is read only where it shows.
    const CE_USER_NOTIFICATION* user = recordHasUser(entry) ? recordUser(entry) : nullptr;
    if (user) appendText(text, capacity, recordString(entry, user->pwszDialogTitle));
    appendText(text, capacity, TEXT("; "));
    if (user) appendText(text, capacity, recordString(entry, user->pwszDialogText));
}

void cleanupNotifications(int verbose) {
    CleanupPass pass = {};
    pass.verbose = verbose;
    runUnderFaultGuard(runCleanupPass, &pass);
    releasePass(&pass);
}
