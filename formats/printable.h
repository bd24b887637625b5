// Text from outside (a file name, a command-line argument, a value read from a device)
// made safe to show on a terminal: every character that shows no mark of its own, or acts
// on the terminal or the line, is written as an escape, so a message can neither recolour
// the terminal nor forge or reorder a line.
#pragma once

#include <string>
#include <string_view>

namespace formats {

// `text` with C escapes in the place of what a terminal would act on: \t, \n, \r, and \xHH
// for other control bytes (ESC is \x1B) and for bytes that are not UTF-8; \uXXXX (or
// \UXXXXXXXX) for the other controls (U+0080 to U+009F), format characters such as
// direction marks (Cf), and line and paragraph separators (U+2028, U+2029). Everything
// else, backslashes included, is kept as it is.
std::string printable(std::string_view text);

}  // namespace formats
