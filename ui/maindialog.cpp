// The main cleanup dialog: the whole interactive run happens inside it. This is its frame
// (initialisation with the shell's full-screen sizing and the soft-key bar, and the ways
// to leave it); the figures and the commands of the soft keys and the Tools menu come
// with the dialog's own work.
#include "app/quillex.h"
#include "res/resource.h"

INT_PTR mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SHINITDLGINFO info = {};
        info.dwMask = SHIDIM_FLAGS;
        info.hDlg = dialog;
        info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
        SHInitDialog(&info);
        menuBar = createMenuBar(dialog, IDM_MENUBAR);
        activationInfo = SHACTIVATEINFO{};
        activationInfo.cbSize = sizeof activationInfo;
        return TRUE;  // the platform places the default focus
    }
    case WM_COMMAND:
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
        default:
            return DefWindowProcW(dialog, WM_COMMAND, wParam, lParam);
        }
    default:
        return FALSE;
    }
}
