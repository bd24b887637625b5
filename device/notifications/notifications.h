// The notification database beyond what the program calls: whole entries in and out for
// quillex-device, and a test hook that hands out chosen raw records.
#pragma once

#include "device/core/notifyentry.h"
#include "platform/wintypes.h"
#include "platform/wintime.h"
#include "platform/winnotify.h"

#include <optional>
#include <string>
#include <vector>

namespace device {

// Every entry in delivery order.
std::vector<NotificationEntry> notificationList();

// Adds the entries behind the existing ones, all or none. RETURNS true and sets each
// entry's handle; false with *error set.
bool notificationAdd(std::vector<NotificationEntry>& entries, std::string* error);

// Removes one entry. RETURNS false when no entry has that handle.
bool notificationClear(DWORD handle);

// Finalizes the statements kept for the store's connection and forgets the raw records
// of the test hook; the device is closing.
void notificationsRelease();

// Whether `handle` is a value the database has ever handed out (CloseHandle accepts it).
bool isNotificationHandle(HANDLE handle);

// Test hook, not reachable from any command: from now on the size query and the read of
// `handle` hand out `bytes` verbatim as the entry's record, whatever its pointers hold.
// An empty `bytes` removes the hook for that handle.
void notificationSetRawRecordForTest(DWORD handle, const std::string& bytes);

}  // namespace device
