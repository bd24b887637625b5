// The handheld's shell library on a desktop, which has none: every call is recorded and
// answered as the handheld's contract says, doing on the desktop only what the program
// relies on (a soft-key bar that is a window of its parent, so destroying it works).
#include "port/win32/port.h"

#include <cstdio>

namespace {

HWND preparedDialog;

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

}  // namespace

BOOL WINAPI SHInitDialog(PSHINITDLGINFO info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsWindow(info->hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    port::recordCall("SHInitDialog " + hex(info->dwFlags));
    preparedDialog = info->hDlg;
    return TRUE;
}

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hwndMB = nullptr;
    port::recordCall("SHCreateMenuBar " + std::to_string(info->nToolBarId));
    if (!info->hwndParent) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!FindResourceW(info->hInstRes, MAKEINTRESOURCEW(info->nToolBarId), RT_RCDATA) ||
        !FindResourceW(info->hInstRes, MAKEINTRESOURCEW(info->nToolBarId), RT_MENU)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return FALSE;
    }
    // The desktop shows no soft keys: the bar is a hidden child that goes with its parent.
    info->hwndMB = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 0, 0, info->hwndParent, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    return info->hwndMB != nullptr;
}

BOOL WINAPI SHHandleWMActivate(HWND window, WPARAM wParam, LPARAM, SHACTIVATEINFO* info, DWORD) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    (void)window;
    info->fActive = LOWORD(wParam) != WA_INACTIVE;
    port::recordCall(std::string("SHHandleWMActivate ") + (info->fActive ? "active" : "inactive"));
    return TRUE;
}

BOOL WINAPI SHHandleWMSettingChange(HWND, WPARAM wParam, LPARAM, SHACTIVATEINFO* info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A desktop has no input panel: it is never up.
    if (wParam == SPI_SETSIPINFO && info->fActive) info->fSipUp = 0;
    port::recordCall("SHHandleWMSettingChange " + std::to_string(wParam));
    return TRUE;
}

// The shell's restart request, as "aygshell.dll" exports it: recorded; the desktop does
// not restart. RETURNS non-zero, as the handheld's shell does for EWX_REBOOT.
BOOL WINAPI shellExitWindowsEx(UINT flags, DWORD) {
    port::recordCall("ExitWindowsEx " + std::to_string(flags));
    if (flags != EWX_REBOOT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

namespace port {

HWND lastInitDialog() { return preparedDialog; }

}  // namespace port
