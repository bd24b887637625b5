// Checked reading of notification records. The platform would raise a fault on a
// pointer that leads nowhere, and the notification operations run under a guard that
// swallows it; here every pointer is checked against the record before it is followed,
// and a bad one raises the same kind of early, quiet end.
#include "app/quillex.h"

#include <cstdint>

namespace {

struct RecordFault {};

[[noreturn]] void raiseRecordFault() { throw RecordFault{}; }

// Whether [pointer, pointer + bytes) lies inside the record and is aligned for `align`.
bool insideRecord(const NotificationRecord* record, const void* pointer, size_t bytes, size_t align) {
    uintptr_t start = reinterpret_cast<uintptr_t>(record->buffer);
    uintptr_t at = reinterpret_cast<uintptr_t>(pointer);
    return at >= start && at - start <= record->size && bytes <= record->size - (at - start) && at % align == 0;
}

const CE_NOTIFICATION_INFO_HEADER* recordHeader(const NotificationRecord* record) {
    if (!insideRecord(record, record->buffer, sizeof(CE_NOTIFICATION_INFO_HEADER), alignof(CE_NOTIFICATION_INFO_HEADER)))
        raiseRecordFault();
    return reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(record->buffer);
}

}  // namespace

const CE_NOTIFICATION_TRIGGER* recordTrigger(const NotificationRecord* record) {
    const CE_NOTIFICATION_TRIGGER* trigger = recordHeader(record)->pcent;
    if (trigger && !insideRecord(record, trigger, sizeof *trigger, alignof(CE_NOTIFICATION_TRIGGER))) raiseRecordFault();
    return trigger;
}

const CE_USER_NOTIFICATION* recordUser(const NotificationRecord* record) {
    const CE_USER_NOTIFICATION* user = recordHeader(record)->pceun;
    if (user && !insideRecord(record, user, sizeof *user, alignof(CE_USER_NOTIFICATION))) raiseRecordFault();
    return user;
}

int recordHasUser(const NotificationRecord* record) { return recordHeader(record)->pceun != nullptr; }

const WCHAR* recordString(const NotificationRecord* record, const WCHAR* pointer) {
    if (!pointer) return nullptr;
    if (!insideRecord(record, pointer, 0, alignof(WCHAR))) raiseRecordFault();
    size_t room = (record->size - (reinterpret_cast<const BYTE*>(pointer) - record->buffer)) / sizeof(WCHAR);
    for (size_t i = 0; i < room; ++i)
        if (pointer[i] == 0) return pointer;
    raiseRecordFault();  // no terminator inside the record
}

int runUnderFaultGuard(void (*body)(void* context), void* context) {
    try {
        body(context);
        return 1;
    } catch (const RecordFault&) {
        return 0;
    }
}
