// The one thread's message queue: posted messages in order, then the quit request, then
// input from the device's input source. The message functions (messages.cpp) and the
// window lifetime (windows.cpp) both build on it; it knows nothing of windows itself.
#pragma once

#include "platform/winuser.h"

#include <functional>

namespace device {

// Waits for the next input event and delivers it, with inputPost or by acting on the
// windows itself. RETURNS false when no input will ever come again.
using InputSource = std::function<bool()>;

// The source GetMessageW asks when nothing is queued. Without one (the default), or once a
// source has returned false, the device has no input: GetMessageW then returns WM_QUIT
// with exit code 0, as if the user had ended the program, so nothing ever waits forever.
void setInputSource(InputSource source);

// Queues an input message. Input comes after posted messages and the quit request.
void inputPost(const MSG& message);

// ---------------------------------------------------------------- for the message functions

// A message stamped with the tick count.
MSG queueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void queuePost(const MSG& message);

// Takes the first posted (or input) message for `window` and its children (any window
// when null) within [first, last] (any message when both are 0).
// RETURNS false when there is none.
bool queueTakePosted(MSG* out, HWND window, UINT first, UINT last);
bool queueTakeInput(MSG* out, HWND window, UINT first, UINT last);

void queueRequestQuit(WPARAM exitCode);
// RETURNS true, with the exit code, when a quit request was pending; it is taken.
bool queueTakeQuit(WPARAM* exitCode);

// The current input source (empty when none).
InputSource queueInputSource();

// ---------------------------------------------------------------- for the window lifetime

// Drops what is queued for a window that is going away.
void queueDropFor(HWND handle);

// Empties both queues and forgets the quit request and the input source.
void queueReset();

}  // namespace device
