// Locale information: the device's time separator and 12/24-hour flag, kept as device
// settings so every process of the device reads the same; until set they follow the
// host's locale.
#include "device/kernel/locale.h"

#include "device/core/faults.h"
#include "device/core/store.h"
#include "device/core/utf.h"
#include "platform/winnls.h"

#include <algorithm>

#include <langinfo.h>
#include <locale.h>
#include <unictype.h>

namespace device {
namespace {

constexpr const char* kSeparatorSetting = "locale.timeSeparator";
constexpr const char* kClockSetting = "locale.clock24";

// The host's time format: the separator after the hour and whether the clock runs to 24.
TimeFormat hostTimeFormat() {
    TimeFormat format;
    locale_t host = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!host) return format;
    std::string pattern = nl_langinfo_l(T_FMT, host);
    freelocale(host);
    if (pattern.find("%r") != std::string::npos) {
        format.clock24 = false;
        return format;
    }
    for (const char* hour : {"%H", "%k", "%I", "%l"}) {
        size_t at = pattern.find(hour);
        if (at == std::string::npos) continue;
        format.clock24 = hour[1] == 'H' || hour[1] == 'k';
        if (at + 2 < pattern.size() && pattern[at + 2] != '%') format.separator = pattern.substr(at + 2, 1);
        break;
    }
    return format;
}

}  // namespace

bool validTimeSeparator(const std::string& separator) {
    bool valid = true;
    std::u16string wide = toUtf16(separator, &valid);
    if (!valid || wide.empty() || wide.size() > 3) return false;
    for (size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF) c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
        bool field = (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
        // Other (C: controls, format characters such as direction marks, unassigned) and
        // separators (Z: spaces, line and paragraph separators) show no mark of their own.
        if (field || uc_is_general_category(c, uc_general_category_or(UC_CATEGORY_C, UC_CATEGORY_Z))) return false;
    }
    return true;
}

TimeFormat timeFormat() {
    TimeFormat host = hostTimeFormat();
    TimeFormat format;
    format.separator = settingGet(kSeparatorSetting, host.separator);
    format.clock24 = settingGet(kClockSetting, host.clock24 ? "1" : "0") != "0";
    return format;
}

bool timeFormatSet(const std::optional<std::string>& separator, std::optional<bool> clock24) {
    if (separator && !validTimeSeparator(*separator)) return false;
    if (separator && !settingSet(kSeparatorSetting, *separator)) return false;
    return !clock24 || settingSet(kClockSetting, *clock24 ? "1" : "0");
}

}  // namespace device

int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int dataChars) {
    if (device::faultHit("GetLocaleInfoW")) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((locale != LOCALE_USER_DEFAULT && locale != LOCALE_SYSTEM_DEFAULT) ||
        (type != LOCALE_STIME && type != LOCALE_ITIME) || dataChars < 0 || (dataChars > 0 && !data)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    device::TimeFormat format = device::timeFormat();
    std::u16string value = type == LOCALE_STIME ? device::toUtf16(format.separator) : (format.clock24 ? u"1" : u"0");
    int needed = static_cast<int>(value.size()) + 1;
    if (dataChars == 0) return needed;
    if (dataChars < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(value.begin(), value.end(), data);
    data[value.size()] = 0;
    return needed;
}
