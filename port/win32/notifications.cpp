// The notification database, which a desktop system does not have: a queue kept in this
// process's memory, empty when the process starts. Records are built as the handheld
// builds them: one buffer holding the header, the trigger, the user part and the strings,
// every pointer leading into that buffer.
#include "port/win32/port.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Text = std::optional<std::wstring>;

struct Entry {
    DWORD handle = 0;
    CE_NOTIFICATION_TRIGGER trigger = {};  // its string pointers are not kept
    Text application, arguments;
    std::optional<CE_USER_NOTIFICATION> user;  // likewise
    Text title, text, sound;
};

std::vector<Entry>& queue() {
    static std::vector<Entry> entries;
    return entries;
}

// Handles are never reused within the process, and lie far above any kernel handle (the
// desktop's are small multiples of 4), so that CloseHandle can tell them apart.
const DWORD kFirstHandle = 0x40000000;
const DWORD kHandleStep = 4;
DWORD lastHandle = kFirstHandle - kHandleStep;

Text copyText(const WCHAR* text) { return text ? Text(text) : std::nullopt; }

size_t textBytes(const Text& text) { return text ? (text->size() + 1) * sizeof(WCHAR) : 0; }

size_t recordSize(const Entry& entry) {
    return sizeof(CE_NOTIFICATION_INFO_HEADER) + sizeof(CE_NOTIFICATION_TRIGGER) +
           (entry.user ? sizeof(CE_USER_NOTIFICATION) : 0) + textBytes(entry.application) +
           textBytes(entry.arguments) + textBytes(entry.title) + textBytes(entry.text) + textBytes(entry.sound);
}

// Copies `text` to `*at` and RETURNS where it went (null when absent).
WCHAR* placeText(const Text& text, BYTE** at) {
    if (!text) return nullptr;
    WCHAR* placed = reinterpret_cast<WCHAR*>(*at);
    std::memcpy(placed, text->c_str(), textBytes(text));
    *at += textBytes(text);
    return placed;
}

void writeRecord(const Entry& entry, BYTE* buffer) {
    auto* header = reinterpret_cast<CE_NOTIFICATION_INFO_HEADER*>(buffer);
    auto* trigger = reinterpret_cast<CE_NOTIFICATION_TRIGGER*>(header + 1);
    BYTE* at = reinterpret_cast<BYTE*>(trigger + 1);
    CE_USER_NOTIFICATION* user = nullptr;
    if (entry.user) {
        user = reinterpret_cast<CE_USER_NOTIFICATION*>(at);
        at += sizeof *user;
    }
    *header = {reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry.handle)), 0, trigger, user};
    *trigger = entry.trigger;
    trigger->lpszApplication = placeText(entry.application, &at);
    trigger->lpszArguments = placeText(entry.arguments, &at);
    if (user) {
        *user = *entry.user;
        user->pwszDialogTitle = placeText(entry.title, &at);
        user->pwszDialogText = placeText(entry.text, &at);
        user->pwszSound = placeText(entry.sound, &at);
    }
}

Entry* findEntry(HANDLE handle) {
    ULONG_PTR wanted = reinterpret_cast<ULONG_PTR>(handle);
    for (Entry& entry : queue())
        if (entry.handle == wanted) return &entry;
    return nullptr;
}

}  // namespace

BOOL WINAPI CeGetUserNotificationHandles(HANDLE* handles, DWORD capacity, LPDWORD needed) {
    if (!needed) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!handles) {
        *needed = static_cast<DWORD>(queue().size());
        return TRUE;
    }
    DWORD delivered = 0;
    for (const Entry& entry : queue()) {
        if (delivered == capacity) break;
        handles[delivered++] = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry.handle));
    }
    *needed = delivered;
    return TRUE;
}

BOOL WINAPI CeGetUserNotification(HANDLE notification, DWORD bufferSize, LPDWORD needed, LPBYTE buffer) {
    const Entry* entry = findEntry(notification);
    if (!entry) {
        if (needed) *needed = 0;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD size = static_cast<DWORD>(recordSize(*entry));
    if (needed) *needed = size;
    if (!buffer || bufferSize < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    writeRecord(*entry, buffer);
    return TRUE;
}

BOOL WINAPI CeClearUserNotification(HANDLE notification) {
    std::vector<Entry>& entries = queue();
    for (auto at = entries.begin(); at != entries.end(); ++at) {
        if (at->handle == reinterpret_cast<ULONG_PTR>(notification)) {
            entries.erase(at);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

HANDLE WINAPI CeSetUserNotificationEx(HANDLE notification, CE_NOTIFICATION_TRIGGER* trigger,
                                      CE_USER_NOTIFICATION* user) {
    if (!trigger) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Entry entry;
    entry.trigger = *trigger;
    entry.application = copyText(trigger->lpszApplication);
    entry.arguments = copyText(trigger->lpszArguments);
    if (user) {
        entry.user = *user;
        entry.title = copyText(user->pwszDialogTitle);
        entry.text = copyText(user->pwszDialogText);
        entry.sound = copyText(user->pwszSound);
    }
    if (notification) {
        Entry* existing = findEntry(notification);
        if (!existing) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        entry.handle = existing->handle;
        *existing = std::move(entry);
        return notification;
    }
    lastHandle += kHandleStep;
    entry.handle = lastHandle;
    queue().push_back(std::move(entry));
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(lastHandle));
}

namespace port {

void clearNotifications() { queue().clear(); }

bool isNotificationHandle(HANDLE handle) {
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
    return value >= kFirstHandle && value < 0x80000000u && value % kHandleStep == 0;
}

}  // namespace port
