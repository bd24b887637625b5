// Chosen failures for tests: a short table of armed operations, consulted by name.
#include "device/core/faults.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace device {
namespace {

// Every operation that asks faultHit, by family. A name armed but missing here could never
// fail, and the test arming it would pass without testing anything.
const char* const kFaultNames[] = {
    // kernel
    "CreateDirectoryW", "CreateFileW", "CreateProcessW", "DeleteFileW", "ExitWindowsEx", "FindClose",
    "FindFirstFileW", "FindNextFileW", "FlushFileBuffers", "FreeLibrary", "GetFileAttributesW", "GetFileSize",
    "GetLocaleInfoW", "GetProcAddressW", "GetVersionExW", "KernelIoControl", "LoadLibraryW", "LocalAlloc",
    "ReadFile", "RegCloseKey", "RegCreateKeyExW", "RegDeleteKeyW", "RegDeleteValueW", "RegEnumKeyExW",
    "RegEnumValueW", "RegFlushKey", "RegOpenKeyExW", "RegQueryValueExW", "RegSetValueExW", "RemoveDirectoryW",
    "SetFilePointer", "WriteFile",
    "openat2",  // the host call behind one-call path resolution (hostpath.cpp)
    "write",    // the host call behind WriteFile: when hit, half goes out and the disk is full
    // notifications
    "CeClearUserNotification", "CeGetUserNotification", "CeGetUserNotificationHandles", "CeSetUserNotificationEx",
    // windowing
    "CreateSolidBrush", "CreateWindowExW", "DialogBoxIndirectParamW", "FindResourceW", "FindWindowW", "GetMessageW",
    "InitCommonControlsEx", "LoadAcceleratorsW", "LoadBitmapW", "LoadIconW", "LoadResource", "LoadStringW",
    "PostMessageW", "RegisterClassW", "TranslateAcceleratorW",
    // shell
    "SHCreateMenuBar", "SHInitDialog",
};

bool isFaultName(const char* operation) {
    for (const char* name : kFaultNames)
        if (std::strcmp(name, operation) == 0) return true;
    return false;
}

[[noreturn]] void stop(const char* operation, const char* why) {
    std::fprintf(stderr, "faults: \"%s\" %s\n", operation, why);
    std::abort();
}

struct ArmedFault {
    char operation[64];
    int callsLeft;  // the call that fails is the one that brings this to 0
    bool persist;
    bool active;
};

std::mutex faultLock;
ArmedFault armed[16];

}  // namespace

void faultArm(const char* operation, int nth, bool persist) {
    if (!isFaultName(operation)) stop(operation, "is no operation that can be made to fail");
    std::lock_guard<std::mutex> guard(faultLock);
    for (ArmedFault& fault : armed) {
        if (!fault.active) {
            std::strncpy(fault.operation, operation, sizeof fault.operation - 1);
            fault.operation[sizeof fault.operation - 1] = '\0';
            fault.callsLeft = nth < 1 ? 1 : nth;
            fault.persist = persist;
            fault.active = true;
            return;
        }
    }
    stop(operation, "cannot be armed: too many faults are armed already");
}

void faultDisarmAll() {
    std::lock_guard<std::mutex> guard(faultLock);
    for (ArmedFault& fault : armed) fault.active = false;
}

bool faultHit(const char* operation) {
#ifndef NDEBUG
    // A new operation that asks without being listed could never be armed.
    if (!isFaultName(operation)) stop(operation, "asks whether to fail but is missing from the fault names");
#endif
    std::lock_guard<std::mutex> guard(faultLock);
    bool fail = false;
    for (ArmedFault& fault : armed) {
        if (!fault.active || std::strcmp(fault.operation, operation) != 0) continue;
        if (fault.callsLeft > 1) {
            --fault.callsLeft;
            continue;
        }
        fail = true;
        if (!fault.persist) fault.active = false;
    }
    return fail;
}

}  // namespace device
