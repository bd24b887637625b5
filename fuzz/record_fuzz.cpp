// Fuzz target: arbitrary bytes become up to three notification records (the entry and
// its two-record window) and go through the record checks, the judgement and the
// description. Whatever the bytes, nothing may be read outside a record.
//
// Input: one byte giving the number of records (0-3), then for each a 16-bit little-endian
// length and that many bytes. Pointer fields holding a value below the record's size are
// taken as offsets (0 stays null) and turned into pointers inside the record, so that the fuzzer reaches
// well-formed records too; every other pointer value stays as it is.
#include "app/quillex.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void rebase(BYTE* record, size_t size, size_t fieldOffset) {
    if (fieldOffset + sizeof(uintptr_t) > size) return;
    uintptr_t value;
    std::memcpy(&value, record + fieldOffset, sizeof value);
    if (value != 0 && value < size) {  // 0 stays a null pointer
        value += reinterpret_cast<uintptr_t>(record);
        std::memcpy(record + fieldOffset, &value, sizeof value);
    }
}

void rebaseRecord(BYTE* record, size_t size) {
    rebase(record, size, offsetof(CE_NOTIFICATION_INFO_HEADER, pcent));
    rebase(record, size, offsetof(CE_NOTIFICATION_INFO_HEADER, pceun));
    // Trigger and user part are where the header says, when that is inside the record.
    CE_NOTIFICATION_INFO_HEADER header;
    if (size < sizeof header) return;
    std::memcpy(&header, record, sizeof header);
    uintptr_t start = reinterpret_cast<uintptr_t>(record);
    uintptr_t trigger = reinterpret_cast<uintptr_t>(header.pcent);
    if (trigger >= start && trigger - start < size) {
        size_t at = trigger - start;
        rebase(record, size, at + offsetof(CE_NOTIFICATION_TRIGGER, lpszApplication));
        rebase(record, size, at + offsetof(CE_NOTIFICATION_TRIGGER, lpszArguments));
    }
    uintptr_t user = reinterpret_cast<uintptr_t>(header.pceun);
    if (user >= start && user - start < size) {
        size_t at = user - start;
        rebase(record, size, at + offsetof(CE_USER_NOTIFICATION, pwszDialogTitle));
        rebase(record, size, at + offsetof(CE_USER_NOTIFICATION, pwszDialogText));
    }
}

struct Judgement {
    NotificationRecord records[3];
    int count;
};

void judgeAndDescribe(void* context) {
    const Judgement* judgement = static_cast<const Judgement*>(context);
    const NotificationRecord* entry = &judgement->records[0];
    const NotificationRecord* previous = judgement->count > 1 ? &judgement->records[1] : nullptr;
    const NotificationRecord* secondPrevious = judgement->count > 2 ? &judgement->records[2] : nullptr;
    FILETIME limit = {0x12345678, 0x01DC0000};
    shouldRemoveEntry(entry, previous, secondPrevious, &limit, 2026);
    WCHAR text[500];
    describeEntry(entry, text, 500);
    char narrow[500];
    StringCchPrintfA(narrow, sizeof narrow, "%S", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int count = data[0] % 4;
    size_t at = 1;
    std::vector<std::vector<BYTE>> buffers;
    for (int i = 0; i < count; ++i) {
        if (at + 2 > size) break;
        size_t length = data[at] | (static_cast<size_t>(data[at + 1]) << 8);
        at += 2;
        if (length > size - at) length = size - at;
        // Exactly the record's size, so that any read past it is caught.
        buffers.emplace_back(data + at, data + at + length);
        at += length;
    }
    if (buffers.empty()) return 0;
    Judgement judgement = {};
    for (std::vector<BYTE>& buffer : buffers) {
        rebaseRecord(buffer.data(), buffer.size());
        judgement.records[judgement.count++] = {buffer.data(), static_cast<DWORD>(buffer.size())};
    }
    runUnderFaultGuard(judgeAndDescribe, &judgement);
    return 0;
}
