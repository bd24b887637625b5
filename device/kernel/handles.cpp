// Kernel objects: the per-process table behind every HANDLE, CloseHandle, and the
// thread's last error. Handle values are multiples of four above every 32-bit value, so
// they never collide with notification handles (32-bit values that CloseHandle also
// accepts), and a closed slot is reused only after every other free slot.
#include "device/kernel/handles.h"

#include <mutex>
#include <vector>

namespace device {
namespace {

std::mutex tableLock;
bool (*foreignOwner)(HANDLE) = nullptr;

bool handleIsForeign(HANDLE handle) { return foreignOwner && foreignOwner(handle); }
std::vector<std::unique_ptr<KernelObject>> table;
size_t nextSlot = 0;

static_assert(sizeof(uintptr_t) == 8, "kernel handles are placed above the 32-bit range");
constexpr uintptr_t kHandleBase = uintptr_t(1) << 32;

HANDLE slotToHandle(size_t slot) { return reinterpret_cast<HANDLE>(kHandleBase + slot * 4); }

bool handleToSlot(HANDLE handle, size_t* slot) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < kHandleBase || value % 4 != 0 || (value - kHandleBase) / 4 >= table.size()) return false;
    *slot = (value - kHandleBase) / 4;
    return table[*slot] != nullptr;
}

}  // namespace

HANDLE handleInsert(std::unique_ptr<KernelObject> object) {
    std::lock_guard<std::mutex> guard(tableLock);
    for (size_t tried = 0; tried < table.size(); ++tried) {
        size_t slot = (nextSlot + tried) % table.size();
        if (!table[slot]) {
            table[slot] = std::move(object);
            nextSlot = slot + 1;
            return slotToHandle(slot);
        }
    }
    table.push_back(std::move(object));
    nextSlot = 0;
    return slotToHandle(table.size() - 1);
}

KernelObject* handleLookup(HANDLE handle) {
    std::lock_guard<std::mutex> guard(tableLock);
    size_t slot;
    return handleToSlot(handle, &slot) ? table[slot].get() : nullptr;
}

bool handleRemove(HANDLE handle) {
    std::unique_ptr<KernelObject> released;
    {
        std::lock_guard<std::mutex> guard(tableLock);
        size_t slot;
        if (!handleToSlot(handle, &slot)) return false;
        released = std::move(table[slot]);
    }
    return true;  // the object's destructor runs here, outside the lock
}

void handleRemoveAll() {
    std::vector<std::unique_ptr<KernelObject>> released;
    {
        std::lock_guard<std::mutex> guard(tableLock);
        released.swap(table);
        nextSlot = 0;
    }
}

void handleAcceptForeign(bool (*owns)(HANDLE)) { foreignOwner = owns; }

}  // namespace device

namespace {
thread_local DWORD lastError = 0;
}

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

BOOL CloseHandle(HANDLE handle) {
    // A foreign handle (such as the one CeSetUserNotificationEx returns, which names the
    // entry) releases nothing here: the entry stays registered.
    if (device::handleIsForeign(handle)) return TRUE;
    if (!device::handleRemove(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
