// Window mode: a single interactive instance with a main window that shows nothing of its
// own; it opens the main cleanup dialog once, when the posted WM_OPEN_MAIN_DIALOG is
// dispatched, and ends the message loop when it is destroyed.
#include "app/quillex.h"
#include "res/resource.h"

HINSTANCE appInstance;
HWND mainWindow;
HWND menuBar;
SHACTIVATEINFO activationInfo;

void registerWindowClass(HINSTANCE instance, const WCHAR* className) {
    WNDCLASSW windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLEX));
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
}

int initInstance(HINSTANCE instance, int showCommand) {
    WCHAR className[100];
    WCHAR title[100];
    appInstance = instance;
    LoadStringW(instance, IDS_APP_CLASS, className, 100);
    LoadStringW(instance, IDS_APP_TITLE, title, 100);

    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_DATE_CLASSES;
    InitCommonControlsEx(&controls);

    // One interactive instance: a second start brings the first forward, with the windows
    // it owns (the set low bit asks for them), and ends.
    HWND running = FindWindowW(className, title);
    if (running) {
        SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<ULONG_PTR>(running) | 1));
        return 0;
    }

    registerWindowClass(instance, className);
    resolveInstallDir();
    mainWindow = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!mainWindow) return 0;
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    return 1;
}

int runWindowMode(HINSTANCE instance, int showCommand) {
    if (!initInstance(instance, showCommand)) return 0;
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    // The only place the message is posted: the main dialog opens once per process.
    PostMessageW(mainWindow, WM_OPEN_MAIN_DIALOG, 0, 0);
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) continue;  // a retrieval error does not end the loop
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        DestroyWindow(menuBar);
        PostQuitMessage(0);
        return 0;
    case WM_ACTIVATE:
        SHHandleWMActivate(window, wParam, lParam, &activationInfo, 0);
        return 0;
    case WM_SETTINGCHANGE:
        SHHandleWMSettingChange(window, wParam, lParam, &activationInfo);
        return 0;
    case WM_OPEN_MAIN_DIALOG: {
        // The whole interactive run happens inside this dispatch.
        HRSRC found = FindResourceW(appInstance, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
        HGLOBAL loaded = LoadResource(appInstance, found);
        DialogBoxIndirectParamW(appInstance, static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)), window,
                                mainDialogProc, 0);
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND createMenuBar(HWND parent, int menuBarId) {
    SHMENUBARINFO info = {};
    info.cbSize = sizeof info;
    info.hwndParent = parent;
    info.dwFlags = 0;
    info.nToolBarId = static_cast<UINT>(menuBarId);
    info.hInstRes = appInstance;
    info.nBmpId = 0;
    info.cBmpImages = 0;
    info.hwndMB = nullptr;
    info.clrBk = 0;
    return SHCreateMenuBar(&info) ? info.hwndMB : nullptr;
}
