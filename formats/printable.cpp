// Escaping outside text for a terminal. Unicode's categories come from libunistring, so
// the characters escaped follow Unicode rather than a table of our own.
#include "formats/printable.h"

#include <cstdio>
#include <unictype.h>
#include <unistr.h>

namespace formats {

std::string printable(std::string_view text) {
    std::string shown;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t at = 0; at < text.size();) {
        ucs4_t c = 0;
        int length = u8_mbtoucr(&c, bytes + at, text.size() - at);
        char escape[16];
        if (length <= 0) {  // not UTF-8: the byte itself
            std::snprintf(escape, sizeof escape, "\\x%02X", bytes[at]);
            shown += escape;
            ++at;
            continue;
        }
        if (c == '\t' || c == '\n' || c == '\r') {
            shown += c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            shown += escape;
        } else if (uc_is_general_category(c, uc_general_category_or(uc_general_category_or(UC_CATEGORY_Cc, UC_CATEGORY_Cf),
                                                                     uc_general_category_or(UC_CATEGORY_Zl, UC_CATEGORY_Zp)))) {
            std::snprintf(escape, sizeof escape, c > 0xFFFF ? "\\U%08X" : "\\u%04X", static_cast<unsigned>(c));
            shown += escape;
        } else {
            shown.append(text.substr(at, static_cast<size_t>(length)));
        }
        at += static_cast<size_t>(length);
    }
    return shown;
}

}  // namespace formats
