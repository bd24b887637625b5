// Kernel object handles of this process. Every object the platform hands out a
// HANDLE for lives here; CloseHandle and the family-specific closers release it.
#pragma once

#include "platform/wintypes.h"

#include <memory>

namespace device {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// RETURNS a handle that is neither 0 nor INVALID_HANDLE_VALUE.
HANDLE handleInsert(std::unique_ptr<KernelObject> object);

// RETURNS the object behind `handle` when it is open and of type T, else null.
KernelObject* handleLookup(HANDLE handle);
template <class T>
T* handleGet(HANDLE handle) {
    return dynamic_cast<T*>(handleLookup(handle));
}

// Releases the object. RETURNS false for a handle that is not open.
bool handleRemove(HANDLE handle);

// Releases every handle (the device is closing).
void handleRemoveAll();

// Handles the table does not hold but CloseHandle must accept, such as the notification
// entries' handles: `owns` answers whether a value is one of them. Set by whoever opens
// the device, so the kernel need not know the families above it.
void handleAcceptForeign(bool (*owns)(HANDLE));

}  // namespace device
