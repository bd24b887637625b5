// One notification entry as the database keeps it. It lives here, below the notifications
// family, so that the record of changes can carry a cleared or added entry as it was.
#pragma once

#include "platform/wintime.h"
#include "platform/wintypes.h"

#include <optional>
#include <string>

namespace device {

// Absent strings are nullopt; empty ones are "".
struct NotificationEntry {
    DWORD handle = 0;  // set by the database
    DWORD type = 0;
    DWORD event = 0;
    std::optional<std::u16string> application;
    std::optional<std::u16string> arguments;
    SYSTEMTIME start{};  // stored as given, even when it is no calendar date
    SYSTEMTIME end{};
    bool hasUser = false;  // whether the entry has a user-notification part
    DWORD actionFlags = 0;
    std::optional<std::u16string> title;
    std::optional<std::u16string> text;
    std::optional<std::u16string> sound;
    DWORD maxSound = 0;
};

}  // namespace device
