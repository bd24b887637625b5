// Text the host programs print on a terminal, from names and data they do not choose (file
// names, log lines, entries, command lines), made harmless there: what would move the
// cursor, colour the screen, start a new line or turn the text around is shown as an
// escape instead, the way ls shows such names. JSON needs none of this: it escapes itself.
#pragma once

#include <string>
#include <string_view>

namespace formats {

// `text` with every control character (C0, DEL, C1), every line or paragraph separator
// and every bidirectional formatting character shown visibly: "\n", "\r", "\t", "\x1b",
// "\u202e"; a byte that is no UTF-8 as "\xff". Anything else, the backslash of a device
// path included, is kept as it is.
std::string printable(std::string_view text);

}  // namespace formats
