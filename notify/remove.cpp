// Removal of the auto-start entry: before the next automatic run is registered, the one
// registered earlier is found by its application path and cleared. At most one entry
// goes per call: the last one in delivery order that matches.
#include "app/quillex.h"

namespace {

// Records of 520 bytes or more are never read: the record buffer holds twice that.
const DWORD kRecordBufferSize = 1040;
const DWORD kLargestRecord = 519;

// The limit is counted in the device's own layout, where handles and pointers take 4
// bytes. These mirror the record's three parts in that layout; on the device they are the
// parts' own sizes, and where pointers are wider the record grows by the difference, which
// is taken off again so that the same entries are read here as there.
struct DeviceHeaderLayout {
    DWORD hNotification, dwStatus, pcent, pceun;
};
struct DeviceTriggerLayout {
    DWORD dwSize, dwType, dwEvent, lpszApplication, lpszArguments;
    SYSTEMTIME stStartTime, stEndTime;
};
struct DeviceUserLayout {
    DWORD ActionFlags, pwszDialogTitle, pwszDialogText, pwszSound, nMaxSound, dwReserved;
};
const DWORD kHeaderGrowth = sizeof(CE_NOTIFICATION_INFO_HEADER) - sizeof(DeviceHeaderLayout);
const DWORD kTriggerGrowth = sizeof(CE_NOTIFICATION_TRIGGER) - sizeof(DeviceTriggerLayout);
const DWORD kUserGrowth = sizeof(CE_USER_NOTIFICATION) - sizeof(DeviceUserLayout);

// The size `record` (read with `size` bytes) has in the device's layout.
DWORD deviceRecordSize(const NotificationRecord* record, DWORD size) {
    const CE_NOTIFICATION_INFO_HEADER* header = reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(record->buffer);
    DWORD growth = kHeaderGrowth;
    if (header->pcent) growth += kTriggerGrowth;
    if (recordHasUser(record)) growth += kUserGrowth;
    return size > growth ? size - growth : 0;
}

struct RemovalPass {
    HANDLE* handles;
    BYTE* record;
};

// An entry matches when it has a trigger with an application and arguments (empty
// arguments count), and the application, lower-cased, contains "quillex".
bool isAutoStartEntry(const NotificationRecord* entry) {
    const CE_NOTIFICATION_TRIGGER* trigger = recordTrigger(entry);
    if (!trigger) return false;
    WCHAR* application = const_cast<WCHAR*>(recordString(entry, trigger->lpszApplication));
    const WCHAR* arguments = recordString(entry, trigger->lpszArguments);
    if (!application || !arguments) return false;
    _wcslwr(application);  // the copy in the record buffer only
    return wcsstr(application, TEXT("quillex")) != nullptr;
}

void runRemoval(void* context) {
    RemovalPass* pass = static_cast<RemovalPass*>(context);
    writeLog("removeNotifications");
    DWORD count = 0;
    if (!CeGetUserNotificationHandles(nullptr, 0, &count) || count == 0) return;
    pass->handles = static_cast<HANDLE*>(LocalAlloc(LPTR, static_cast<size_t>(count) * sizeof(HANDLE)));
    if (!pass->handles) return;
    DWORD delivered = 0;
    if (!CeGetUserNotificationHandles(pass->handles, count, &delivered)) return;
    if (delivered > count) delivered = count;
    pass->record = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, kRecordBufferSize));
    if (!pass->record) return;

    for (DWORD slot = delivered; slot-- > 0;) {
        DWORD size = 0;
        CeGetUserNotification(pass->handles[slot], 0, &size, nullptr);
        // Larger than the limit however much of it is growth: not read.
        if (size < 2 || size > kLargestRecord + kHeaderGrowth + kTriggerGrowth + kUserGrowth) continue;
        DWORD readSize = 0;
        if (!CeGetUserNotification(pass->handles[slot], size, &readSize, pass->record)) continue;
        // A record too short to hold its header cannot be the entry looked for.
        DWORD recordSize = readSize < size ? readSize : size;
        if (recordSize < sizeof(CE_NOTIFICATION_INFO_HEADER)) continue;
        NotificationRecord entry = {pass->record, recordSize};
        if (deviceRecordSize(&entry, size) > kLargestRecord) continue;
        if (isAutoStartEntry(&entry)) {
            CeClearUserNotification(pass->handles[slot]);
            return;
        }
    }
}

}  // namespace

void removeNotifications(void) {
    RemovalPass pass = {};
    runUnderFaultGuard(runRemoval, &pass);
    LocalFree(pass.record);
    LocalFree(pass.handles);
}
