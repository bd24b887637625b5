// The device's regional settings beyond what the program calls: the time format that
// GetLocaleInfoW reports, as the tool shows and sets it.
#pragma once

#include <optional>
#include <string>

namespace device {

struct TimeFormat {
    std::string separator = ":";  // between hours and minutes: 1 to 3 characters
    bool clock24 = true;          // false: a 12-hour clock with AM and PM
};

// The device's time format: what was set, else the host's locale's, else a colon and the
// 24-hour clock.
TimeFormat timeFormat();

// Whether `separator` can be the time separator: valid UTF-8 of 1 to 3 characters (UTF-16
// units), none an ASCII digit or letter (a picker format could not tell it from its
// fields), nor a control, format, unassigned or separator character of Unicode (C, Z): a
// line break would split the picker's row, and a space, a direction mark or a line
// separator shows no mark between the hours and the minutes, or moves them.
bool validTimeSeparator(const std::string& separator);

// Stores the parts given; the others stay as they are. RETURNS false for a separator that
// is not valid, or when the store refused.
bool timeFormatSet(const std::optional<std::string>& separator, std::optional<bool> clock24);

}  // namespace device
