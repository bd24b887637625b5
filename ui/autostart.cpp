// The Auto-start settings dialog: seven weekday cells that change colour when tapped, a
// time picker in the device's time format and six action boxes. It is the only writer of
// the schedule settings; there is no Cancel, and OK always saves.
#include "app/quillex.h"
#include "res/resource.h"

int dayToggles[7];
HBRUSH darkBrush;
HBRUSH lightBrush;

namespace {

// The action boxes in the order of their startOptions bits.
const int kActionBoxes[6] = {IDC_AUTO_NOTIFICATIONS, IDC_AUTO_TEMP,    IDC_AUTO_IECACHE,
                             IDC_AUTO_HISTORY,       IDC_AUTO_AVANTGO, IDC_AUTO_SOFTRESET};

// The locale's time format for the picker. A query that fails leaves its fallback: a
// colon and the 24-hour clock.
void setPickerFormat(HWND picker) {
    WCHAR separator[4] = TEXT(":");
    WCHAR clockFlag[4] = TEXT("1");
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, 4)) StringCchCopyW(separator, 4, TEXT(":"));
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ITIME, clockFlag, 4)) StringCchCopyW(clockFlag, 4, TEXT("1"));
    WCHAR format[20];
    pickerFormat(separator, clockFlag, format, 20);
    SendMessageW(picker, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format));
}

void openAutoStart(HWND dialog) {
    darkBrush = CreateSolidBrush(DARK_COLOUR);
    lightBrush = CreateSolidBrush(LIGHT_COLOUR);
    loadScheduleSettings();
    togglesFromDays(startDays, dayToggles);

    HWND picker = GetDlgItem(dialog, IDC_AUTO_TIME);
    setPickerFormat(picker);
    SYSTEMTIME time;
    GetLocalTime(&time);
    pickerTimeFromStartTime(startTime, &time);
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));

    int checks[6];
    checksFromOptions(startOptions, checks);
    for (int bit = 0; bit < 6; ++bit) SendMessageW(GetDlgItem(dialog, kActionBoxes[bit]), BM_SETCHECK, checks[bit], 0);
}

void tapLetter(HWND dialog, int day) {
    dayToggles[day] = !dayToggles[day];
    // Repainted at once, asking for its colours again.
    HWND cell = GetDlgItem(dialog, IDC_DAY_FIRST + day);
    InvalidateRect(cell, nullptr, TRUE);
    UpdateWindow(cell);
}

void confirmAutoStart(HWND dialog) {
    startDays = daysFromToggles(dayToggles);
    SYSTEMTIME time = {};
    SendMessageW(GetDlgItem(dialog, IDC_AUTO_TIME), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time));
    startTime = startTimeFromPickerTime(&time);
    int checks[6];
    for (int bit = 0; bit < 6; ++bit)
        checks[bit] = static_cast<int>(SendMessageW(GetDlgItem(dialog, kActionBoxes[bit]), BM_GETCHECK, 0, 0));
    startOptions = optionsFromChecks(checks);
    saveScheduleSettings();
    DeleteObject(lightBrush);
    DeleteObject(darkBrush);
    EndDialog(dialog, IDOK);
}

INT_PTR staticColour(HDC context, HWND control) {
    SetBkMode(context, TRANSPARENT);
    COLORREF text = 0;
    int setsText = 0;
    int dark = staticColours(GetDlgCtrlID(control), dayToggles, &text, &setsText);
    if (setsText) SetTextColor(context, text);
    return reinterpret_cast<INT_PTR>(dark ? darkBrush : lightBrush);
}

}  // namespace

INT_PTR CALLBACK autoStartDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        openAutoStart(dialog);
        return TRUE;  // the focus goes to the first tab stop, the picker
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(dialog, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, lightBrush);
        return TRUE;
    }
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (id == IDOK) {
            confirmAutoStart(dialog);
            return TRUE;
        }
        // Cancel and everything else leave the dialog open.
        if (id >= IDC_DAY_FIRST && id <= IDC_DAY_LAST && HIWORD(wParam) == STN_CLICKED)
            tapLetter(dialog, id - IDC_DAY_FIRST);
        return FALSE;
    }
    case WM_CTLCOLORSTATIC:
        return staticColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CTLCOLOREDIT:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(lightBrush);
    default:
        return FALSE;
    }
}
