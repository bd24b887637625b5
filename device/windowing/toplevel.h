// The device-wide table of top-level windows in the object store, shared by every process
// using the device: what FindWindowW searches and where SetForegroundWindow leaves requests
// for the window's own process.
#pragma once

#include "platform/winuser.h"

#include <string_view>
#include <vector>

namespace device {

// The device-wide table of top-level windows. A top-level window's handle is its row id
// times 4, so it means the same window in every process and its lowest bit is free.
HWND topLevelAdd(std::u16string_view className, std::u16string_view title);  // null: refused
void topLevelRemove(HWND handle);
void topLevelRetitle(HWND handle, std::u16string_view title);
HWND topLevelFind(const WCHAR* className, const WCHAR* title);
// RETURNS true when the window's row exists and its process still runs.
bool topLevelAlive(HWND handle);
// Asks the owner of a live window to bring it forward and journals the request.
// RETURNS false when the window or its process is gone.
bool topLevelRequestForward(HWND handle);
// RETURNS this process's windows that others asked to come forward, clearing the requests.
std::vector<HWND> topLevelTakeForwardRequests();
void topLevelRemoveAllOfProcess();

}  // namespace device
