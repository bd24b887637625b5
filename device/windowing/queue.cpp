// The one thread's message queue: posted messages in order, then the quit request, then
// input from the device's input source. Messages for a window leave with the window.
#include "device/windowing/queue.h"

#include "platform/wintime.h"

#include <algorithm>
#include <deque>

namespace device {
namespace {

std::deque<MSG> posted;
std::deque<MSG> input;
bool quitRequested = false;
WPARAM quitCode = 0;
InputSource source;

bool wanted(const MSG& message, HWND window, UINT first, UINT last) {
    if (window && message.hwnd != window && !IsChild(window, message.hwnd)) return false;
    return (first == 0 && last == 0) || (message.message >= first && message.message <= last);
}

bool take(std::deque<MSG>& queue, MSG* out, HWND window, UINT first, UINT last) {
    auto found = std::find_if(queue.begin(), queue.end(),
                              [&](const MSG& message) { return wanted(message, window, first, last); });
    if (found == queue.end()) return false;
    *out = *found;
    queue.erase(found);
    return true;
}

}  // namespace

void setInputSource(InputSource newSource) { source = std::move(newSource); }

void inputPost(const MSG& message) {
    input.push_back(message);
    if (!input.back().time) input.back().time = GetTickCount();
}

MSG queueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}};
}

void queuePost(const MSG& message) { posted.push_back(message); }

bool queueTakePosted(MSG* out, HWND window, UINT first, UINT last) { return take(posted, out, window, first, last); }

bool queueTakeInput(MSG* out, HWND window, UINT first, UINT last) { return take(input, out, window, first, last); }

void queueRequestQuit(WPARAM exitCode) {
    quitRequested = true;
    quitCode = exitCode;
}

bool queueTakeQuit(WPARAM* exitCode) {
    if (!quitRequested) return false;
    quitRequested = false;
    *exitCode = quitCode;
    return true;
}

InputSource queueInputSource() { return source; }

void queueDropFor(HWND handle) {
    auto forWindow = [handle](const MSG& message) { return message.hwnd == handle; };
    posted.erase(std::remove_if(posted.begin(), posted.end(), forWindow), posted.end());
    input.erase(std::remove_if(input.begin(), input.end(), forWindow), input.end());
}

void queueReset() {
    posted.clear();
    input.clear();
    quitRequested = false;
    quitCode = 0;
    source = nullptr;
}

}  // namespace device
