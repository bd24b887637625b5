// UTF-16 <-> UTF-8 for host names and store text, and the device's case fold.
#include "device/core/utf.h"

#include "device/core/casepairs.h"

namespace device {

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string toUtf8(const WCHAR* text) {
    if (!text) return std::string();
    return toUtf8(std::u16string_view(text, std::char_traits<char16_t>::length(text)));
}

std::u16string toUtf16(std::string_view text, bool* valid) {
    std::u16string out;
    out.reserve(text.size());
    if (valid) *valid = true;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        uint32_t c;
        size_t length;
        uint32_t minimum;
        if (lead < 0x80) { c = lead; length = 1; minimum = 0; }
        else if ((lead & 0xE0) == 0xC0) { c = lead & 0x1F; length = 2; minimum = 0x80; }
        else if ((lead & 0xF0) == 0xE0) { c = lead & 0x0F; length = 3; minimum = 0x800; }
        else if ((lead & 0xF8) == 0xF0) { c = lead & 0x07; length = 4; minimum = 0x10000; }
        else { c = 0xFFFD; length = 0; minimum = 0; }
        bool ok = length > 0 && i + length <= text.size();
        for (size_t k = 1; ok && k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) ok = false;
            else c = (c << 6) | (next & 0x3F);
        }
        if (ok && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (!ok) {
            if (valid) *valid = false;
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

namespace {

// The other member of c's pair in `table` (rows {c, other}, sorted by c), or c.
template <size_t N>
char16_t pairedWith(const char16_t (&table)[N][2], char16_t c) {
    size_t low = 0, high = N;
    while (low < high) {
        size_t middle = (low + high) / 2;
        if (table[middle][0] < c) low = middle + 1;
        else high = middle;
    }
    return low < N && table[low][0] == c ? table[low][1] : c;
}

}  // namespace

char16_t lowerCase(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    return pairedWith(casepairs::kSmallOfCapital, c);
}

char16_t upperCase(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    return pairedWith(casepairs::kCapitalOfSmall, c);
}

std::string foldKey(std::u16string_view name) {
    std::u16string lowered(name);
    for (char16_t& c : lowered) c = lowerCase(c);
    return toUtf8(lowered);
}

}  // namespace device
