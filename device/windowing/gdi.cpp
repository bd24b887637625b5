// Drawing and cursors: brushes and stock objects as handles to colours, device contexts
// that remember the text colour, background mode and last fill asked of them, and the
// current cursor. Nothing reaches a display here; the screen reads the records.
#include "device/windowing/dialogs.h"

#include "device/core/faults.h"
#include "device/kernel/files.h"

#include <chrono>
#include <map>

namespace device {
namespace {

struct Brush {
    COLORREF colour = 0;
    bool stock = false;
    bool hollow = false;
};

struct Context {
    HWND window = nullptr;
    COLORREF text = RGB(0, 0, 0);
    int mode = OPAQUE;
    std::optional<COLORREF> fill;
};

// Brushes and contexts share one numbering; stock objects take the first handles.
std::map<uintptr_t, Brush> brushes;
std::map<uintptr_t, Context> contexts;
uintptr_t nextHandle = 0x100;
HCURSOR current = nullptr;
std::function<void(HCURSOR)> cursorHook;
// When the wait cursor last came on, and how many entries the file searches had listed then.
std::chrono::steady_clock::time_point waitSince;
uint64_t waitFiles = 0;

constexpr uintptr_t kStockBase = 0x10;
constexpr uintptr_t kArrowCursor = 0x7F00;
constexpr uintptr_t kWaitCursor = 0x7F02;

const Brush kStockBrushes[] = {
    {RGB(255, 255, 255), true, false}, {RGB(192, 192, 192), true, false}, {RGB(128, 128, 128), true, false},
    {RGB(64, 64, 64), true, false},    {RGB(0, 0, 0), true, false},       {RGB(0, 0, 0), true, true},
};
constexpr int kStockCount = static_cast<int>(sizeof kStockBrushes / sizeof kStockBrushes[0]);

const Brush* brushFind(HGDIOBJ handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (value >= kStockBase && value < kStockBase + kStockCount) return &kStockBrushes[value - kStockBase];
    auto found = brushes.find(value);
    return found == brushes.end() ? nullptr : &found->second;
}

Context* contextFind(HDC handle) {
    auto found = contexts.find(reinterpret_cast<uintptr_t>(handle));
    return found == contexts.end() ? nullptr : &found->second;
}

}  // namespace

std::optional<COLORREF> brushColour(HBRUSH brush) {
    const Brush* found = brushFind(brush);
    if (!found || found->hollow) return std::nullopt;
    return found->colour;
}

HDC contextOpen(HWND window) {
    uintptr_t handle = nextHandle++;
    contexts[handle].window = window;
    return reinterpret_cast<HDC>(handle);
}

void contextClose(HDC context) { contexts.erase(reinterpret_cast<uintptr_t>(context)); }

COLORREF contextTextColour(HDC context) {
    Context* found = contextFind(context);
    return found ? found->text : RGB(0, 0, 0);
}

bool contextTransparent(HDC context) {
    Context* found = contextFind(context);
    return found && found->mode == TRANSPARENT;
}

std::optional<COLORREF> contextFill(HDC context) {
    Context* found = contextFind(context);
    return found ? found->fill : std::nullopt;
}

HCURSOR cursorCurrent() { return current; }

bool cursorIsWait() { return reinterpret_cast<uintptr_t>(current) == kWaitCursor; }

BusyProgress cursorBusyProgress() {
    BusyProgress progress;
    if (!cursorIsWait()) return progress;
    auto elapsed = std::chrono::steady_clock::now() - waitSince;
    progress.seconds = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
    progress.files = filesListed() - waitFiles;
    return progress;
}

void setCursorHook(std::function<void(HCURSOR)> hook) { cursorHook = std::move(hook); }

void gdiReset() {
    brushes.clear();
    contexts.clear();
    current = nullptr;
    cursorHook = nullptr;
}

}  // namespace device

HBRUSH CreateSolidBrush(COLORREF colour) {
    if (device::faultHit("CreateSolidBrush")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    uintptr_t handle = device::nextHandle++;
    device::brushes[handle] = device::Brush{colour & 0x00FFFFFF, false, false};
    return reinterpret_cast<HBRUSH>(handle);
}

HGDIOBJ GetStockObject(int index) {
    if (index < 0 || index >= device::kStockCount) return nullptr;
    return reinterpret_cast<HGDIOBJ>(device::kStockBase + static_cast<uintptr_t>(index));
}

BOOL DeleteObject(HGDIOBJ object) {
    const device::Brush* brush = device::brushFind(object);
    if (!brush) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!brush->stock) device::brushes.erase(reinterpret_cast<uintptr_t>(object));
    return TRUE;
}

int FillRect(HDC context, const RECT* rect, HBRUSH brush) {
    device::Context* found = device::contextFind(context);
    const device::Brush* fill = device::brushFind(brush);
    if (!found || !rect || !fill) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!fill->hollow && rect->right > rect->left && rect->bottom > rect->top) found->fill = fill->colour;
    return TRUE;
}

int SetBkMode(HDC context, int mode) {
    device::Context* found = device::contextFind(context);
    if (!found || (mode != TRANSPARENT && mode != OPAQUE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int previous = found->mode;
    found->mode = mode;
    return previous;
}

COLORREF SetTextColor(HDC context, COLORREF colour) {
    device::Context* found = device::contextFind(context);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return CLR_INVALID;
    }
    COLORREF previous = found->text;
    found->text = colour & 0x00FFFFFF;
    return previous;
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    if (!instance && name == IDC_ARROW) return reinterpret_cast<HCURSOR>(device::kArrowCursor);
    if (!instance && name == IDC_WAIT) return reinterpret_cast<HCURSOR>(device::kWaitCursor);
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = device::current;
    device::current = cursor;
    if (cursor != previous && device::cursorIsWait()) {
        device::waitSince = std::chrono::steady_clock::now();
        device::waitFiles = device::filesListed();
    }
    if (cursor != previous && device::cursorHook) device::cursorHook(cursor);
    return previous;
}
