// The dialogs' conversions between stored values and what the controls show: the size
// text of the figures; the Auto-start dialog's weekday toggles, picker time and format,
// action boxes and letter colours. Plain values in and out; no platform state is touched.
#include "app/quillex.h"
#include "res/resource.h"

void formatSizeText(DWORD bytes, WCHAR* text, size_t capacity) {
    // Up to and including one mebibyte the figure is in kilobytes, so 1 MiB reads 1024.0 KB.
    if (bytes <= 0x100000)
        StringCchPrintfW(text, capacity, TEXT("%.1f KB"), static_cast<double>(bytes) / 1024.0);
    else
        StringCchPrintfW(text, capacity, TEXT("%.1f MB"), static_cast<double>(bytes) / 1048576.0);
}

void formatCount(DWORD count, WCHAR* text, size_t capacity) {
    StringCchPrintfW(text, capacity, TEXT("%u"), count);
}

void togglesFromDays(int days, int toggles[7]) {
    for (int k = 0; k < 7; ++k) toggles[k] = (days >> k) & 1;
}

int daysFromToggles(const int toggles[7]) {
    int days = 0;
    for (int k = 0; k < 7; ++k)
        if (toggles[k]) days |= 1 << k;
    return days;
}

void pickerTimeFromStartTime(int time, SYSTEMTIME* now) {
    // A stored time that is no time of day cannot be shown; the current time stands in.
    if (time <= 0 || time / 100 > 23 || time % 100 > 59) return;
    now->wHour = static_cast<WORD>(time / 100);
    now->wMinute = static_cast<WORD>(time % 100);
}

int startTimeFromPickerTime(const SYSTEMTIME* time) { return time->wHour * 100 + time->wMinute; }

void checksFromOptions(int options, int checks[6]) {
    for (int bit = 0; bit < 6; ++bit) checks[bit] = (options >> bit) & 1 ? BST_CHECKED : BST_UNCHECKED;
}

int optionsFromChecks(const int checks[6]) {
    int options = 0;
    for (int bit = 0; bit < 6; ++bit)
        if (checks[bit] == BST_CHECKED) options |= 1 << bit;
    return options;
}

void pickerFormat(const WCHAR* separator, const WCHAR* clockFlag, WCHAR* format, size_t capacity) {
    // An empty separator would end the format after the hour: a colon stands in.
    WCHAR mark = separator[0] ? separator[0] : TEXT(':');
    int flag = 0;
    bool digits = false;
    for (const WCHAR* c = clockFlag; *c >= TEXT('0') && *c <= TEXT('9') && flag < 1000; ++c) {
        flag = flag * 10 + (*c - TEXT('0'));
        digits = true;
    }
    // Only a flag that reads 0 asks for the 12-hour clock; the 24-hour one is the fallback.
    const WCHAR* pattern = digits && flag == 0 ? TEXT("h%cmm tt") : TEXT("HH%cmm");
    StringCchPrintfW(format, capacity, pattern, mark);
}

int staticColours(int controlId, const int toggles[7], COLORREF* textColour, int* setsText) {
    *setsText = 0;
    if (controlId < IDC_DAY_FIRST || controlId > IDC_DAY_FIRST + 6) return 0;
    *setsText = 1;
    if (toggles[controlId - IDC_DAY_FIRST]) {
        *textColour = SELECTED_LETTER_COLOUR;
        return 1;
    }
    *textColour = DARK_COLOUR;
    return 0;
}
