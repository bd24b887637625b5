// The main cleanup dialog, inside which the whole interactive run happens: five figures
// with check boxes, the Cleanup soft key and the Tools menu (About, Automatic Start, Export
// Log, Exit). Nothing it does reports a failure.
#include "app/quillex.h"
#include "res/resource.h"

namespace {

void setFigure(HWND dialog, int controlId, const WCHAR* text) {
    SendMessageW(GetDlgItem(dialog, controlId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void setSizeFigure(HWND dialog, int controlId, DWORD bytes) {
    WCHAR text[100];
    formatSizeText(bytes, text, 100);
    setFigure(dialog, controlId, text);
}

int isChecked(HWND dialog, int controlId) {
    return SendMessageW(GetDlgItem(dialog, controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void showCursor(const WCHAR* cursor) { SetCursor(LoadCursorW(nullptr, cursor)); }

void runDialog(HWND owner, int templateId, DLGPROC procedure) {
    HRSRC found = FindResourceW(appInstance, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    HGLOBAL loaded = LoadResource(appInstance, found);
    DialogBoxIndirectParamW(appInstance, static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)), owner, procedure, 0);
}

void initMainDialog(HWND dialog) {
    SHINITDLGINFO info = {};
    info.dwMask = SHIDIM_FLAGS;
    info.hDlg = dialog;
    info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&info);
    menuBar = createMenuBar(dialog, IDM_MENUBAR);
    activationInfo = SHACTIVATEINFO{};
    activationInfo.cbSize = sizeof activationInfo;
    showCursor(IDC_WAIT);
    updateSizes(dialog);
    showCursor(IDC_ARROW);
}

// What the soft keys and the Tools menu ask for. RETURNS the dialog procedure's result.
INT_PTR mainDialogCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDOK:
    case IDM_EXIT:
        EndDialog(dialog, LOWORD(wParam));
        DestroyWindow(mainWindow);  // its WM_DESTROY ends the program
        return TRUE;
    case IDCANCEL:
        // The quit request ends this dialog's loop and then the program's.
        DestroyWindow(menuBar);
        PostQuitMessage(0);
        return FALSE;
    case IDM_ABOUT:
        runDialog(dialog, IDD_ABOUT, aboutDialogProc);
        return FALSE;
    case IDM_CLEANUP:
        runCleanup(dialog);
        return FALSE;
    case IDM_EXPORT_LOG:
        // The figures and the boxes stay as they are.
        cleanupNotifications(1);
        return FALSE;
    case IDM_AUTOSTART:
        runDialog(dialog, IDD_AUTOSTART, autoStartDialogProc);
        // Whatever the dialog did, the registered run follows what is stored now.
        checkAutoStart();
        return FALSE;
    default:
        return DefWindowProcW(dialog, WM_COMMAND, wParam, lParam);
    }
}

}  // namespace

void updateSizes(HWND dialog) {
    DWORD count = 0;
    CeGetUserNotificationHandles(nullptr, 0, &count);
    WCHAR text[100];
    formatCount(count, text, 100);
    setFigure(dialog, IDC_NOTIFICATIONS_COUNT, text);
    setSizeFigure(dialog, IDC_TEMP_SIZE, cleanupTemp(0));
    setSizeFigure(dialog, IDC_IECACHE_SIZE, cleanupIECache(0));
    setSizeFigure(dialog, IDC_HISTORY_SIZE, cleanupHistory(0));
    setSizeFigure(dialog, IDC_AVANTGO_SIZE, cleanupAvantGo(0));
}

void runCleanup(HWND dialog) {
    showCursor(IDC_WAIT);
    if (isChecked(dialog, IDC_NOTIFICATIONS_CHECK)) cleanupNotifications(0);
    if (isChecked(dialog, IDC_TEMP_CHECK)) cleanupTemp(1);
    if (isChecked(dialog, IDC_IECACHE_CHECK)) cleanupIECache(1);
    if (isChecked(dialog, IDC_HISTORY_CHECK)) cleanupHistory(1);
    if (isChecked(dialog, IDC_AVANTGO_CHECK)) cleanupAvantGo(1);
    updateSizes(dialog);
    // The system's reminder and clock programs pick up the changed queue; they start after
    // every Cleanup, after the figures were taken.
    CreateProcessW(TEXT("calnot.exe"), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr);
    Sleep(50);
    CreateProcessW(TEXT("clocknot.exe"), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr);
    showCursor(IDC_ARROW);
    const int boxes[] = {IDC_NOTIFICATIONS_CHECK, IDC_TEMP_CHECK, IDC_IECACHE_CHECK, IDC_HISTORY_CHECK,
                         IDC_AVANTGO_CHECK};
    for (int box : boxes) SendMessageW(GetDlgItem(dialog, box), BM_SETCHECK, BST_UNCHECKED, 0);
}

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        initMainDialog(dialog);
        return TRUE;  // the platform places the default focus
    case WM_COMMAND:
        return mainDialogCommand(dialog, wParam, lParam);
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        // Only the caption's OK closes the box; Cancel and the rest leave it open.
        if (LOWORD(wParam) != IDOK) return FALSE;
        EndDialog(dialog, IDOK);
        return TRUE;
    default:
        return FALSE;
    }
}
