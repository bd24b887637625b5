// The message functions beyond what the program calls: keys typed into the window with the
// focus, and the nested modal loops dialogs and menus run.
#pragma once

#include "platform/winuser.h"

#include <functional>

namespace device {

// Queues WM_KEYDOWN and WM_KEYUP of `virtualKey` for the focus window, or the front
// window when nothing has the focus. RETURNS false when there is no such window.
bool inputKey(WORD virtualKey);

// Runs a nested message loop until `ended` returns true, offering each message to
// `intercept` (when given) before translating and dispatching the ones it declines.
// RETURNS true when `ended` ended it; false when WM_QUIT did, which it has posted again so
// the loops around this one end too.
bool runModalLoop(const std::function<bool()>& ended, const std::function<bool(MSG&)>& intercept = nullptr);

}  // namespace device
