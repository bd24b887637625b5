// Conversions between the device's UTF-16 text and the host's UTF-8, in one place.
#pragma once

#include "platform/wintypes.h"

#include <string>
#include <string_view>

namespace device {

// An unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);
std::string toUtf8(const WCHAR* text);

// RETURNS the UTF-16 text; invalid UTF-8 sets *valid to false (when given) and the
// faulty bytes become U+FFFD.
std::u16string toUtf16(std::string_view text, bool* valid = nullptr);

// The device's case mapping, independent of any host locale: Unicode's simple one-to-one
// case pairs (casepairs.h); a character in no pair keeps its case. lowerCase is what
// towlower and every name comparison use.
char16_t lowerCase(char16_t c);
char16_t upperCase(char16_t c);

// The device's case-insensitive key of a name: every character lower-cased, as UTF-8.
std::string foldKey(std::u16string_view name);

}  // namespace device
