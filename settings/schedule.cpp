// The schedule settings: three REG_DWORD values under HKEY_CURRENT_USER
// "Software\Holvenark\Quillex", written only by the Auto-start dialog.
#include "app/quillex.h"

int startDays;
int startTime;
int startOptions;

namespace {

const WCHAR* const kScheduleKey = TEXT("Software\\Holvenark\\Quillex");

void writeScheduleValue(HKEY key, const WCHAR* name, int value) {
    DWORD data = static_cast<DWORD>(value);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

}  // namespace

int openScheduleKey(HKEY* key) {
    return RegOpenKeyExW(HKEY_CURRENT_USER, kScheduleKey, 0, 0, key) == ERROR_SUCCESS;
}

void readScheduleValue(HKEY key, const WCHAR* name, int* value) {
    // Read into a scratch word: a value of another type or size must not leave part of
    // itself in the integer.
    DWORD data = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof data)
        *value = static_cast<int>(data);
}

void loadScheduleSettings(void) {
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kScheduleKey, 0, const_cast<WCHAR*>(TEXT("")), 0, 0, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return;
    readScheduleValue(key, TEXT("startDays"), &startDays);
    readScheduleValue(key, TEXT("startTime"), &startTime);
    readScheduleValue(key, TEXT("startOptions"), &startOptions);
    RegCloseKey(key);
}

void saveScheduleSettings(void) {
    HKEY key;
    if (!openScheduleKey(&key)) return;
    writeScheduleValue(key, TEXT("startDays"), startDays);
    writeScheduleValue(key, TEXT("startTime"), startTime);
    writeScheduleValue(key, TEXT("startOptions"), startOptions);
    RegFlushKey(key);
    RegCloseKey(key);
}
