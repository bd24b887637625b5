// The Win32 port's own interface, for its start-up code and the differential check: the
// record of the calls the port stands in for, the dialog the shell last prepared, and the
// notification queue. The program never includes this header.
#pragma once

#include "platform/windows.h"

#include <string>
#include <vector>

namespace port {

// UTF-8 of a wide string (null: empty).
std::string utf8(const WCHAR* text);

// One line per handheld-only or adapted call, in call order ("SHInitDialog 0x0000000D",
// "CreateProcessW calnot.exe 0"). Each line also goes to the file that the environment
// variable QUILLEX_CALL_RECORD names, when it is set, so a separate run can be inspected.
void recordCall(const std::string& line);
const std::vector<std::string>& callRecord();
void clearCallRecord();

// The dialog SHInitDialog last prepared, or null.
HWND lastInitDialog();

// Empties the notification queue, which starts empty with every process.
void clearNotifications();

// Whether `handle` is one the notification queue hands out (none is a kernel handle).
bool isNotificationHandle(HANDLE handle);

}  // namespace port
