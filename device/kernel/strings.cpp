// The platform's string helpers: wide-character length, search, case mapping and the
// bounded StringCch functions. Case mapping is the device's: Unicode's simple one-to-one
// case pairs (device::lowerCase, upperCase), independent of any host locale. 8-bit
// text is the device's code page: characters above U+00FF become '?'.
#include "platform/winstring.h"

#include "device/core/utf.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

WCHAR towlower(WCHAR c) { return device::lowerCase(c); }

WCHAR towupper(WCHAR c) { return device::upperCase(c); }

size_t wcslen(const WCHAR* s) {
    size_t length = 0;
    while (s[length]) ++length;
    return length;
}

WCHAR* wcsstr(WCHAR* haystack, const WCHAR* needle) {
    return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(haystack), needle));
}

const WCHAR* wcsstr(const WCHAR* haystack, const WCHAR* needle) {
    if (!*needle) return haystack;
    for (; *haystack; ++haystack) {
        size_t i = 0;
        while (needle[i] && haystack[i] == needle[i]) ++i;
        if (!needle[i]) return haystack;
    }
    return nullptr;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        int difference = static_cast<int>(towlower(*a)) - static_cast<int>(towlower(*b));
        if (difference != 0 || !*a) return difference;
    }
}

WCHAR* _wcslwr(WCHAR* s) {
    for (WCHAR* c = s; *c; ++c) *c = towlower(*c);
    return s;
}

HRESULT StringCchLengthW(const WCHAR* s, size_t cchMax, size_t* length) {
    for (size_t i = 0; s && i < cchMax; ++i) {
        if (!s[i]) {
            if (length) *length = i;
            return S_OK;
        }
    }
    if (length) *length = 0;
    return STRSAFE_E_INVALID_PARAMETER;
}

HRESULT StringCchCopyW(WCHAR* dest, size_t cchDest, const WCHAR* src) {
    if (cchDest == 0) return STRSAFE_E_INVALID_PARAMETER;
    size_t i = 0;
    for (; i + 1 < cchDest && src[i]; ++i) dest[i] = src[i];
    dest[i] = 0;
    return src[i] ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

HRESULT StringCchCatW(WCHAR* dest, size_t cchDest, const WCHAR* src) {
    size_t used;
    if (FAILED(StringCchLengthW(dest, cchDest, &used))) return STRSAFE_E_INVALID_PARAMETER;
    return StringCchCopyW(dest + used, cchDest - used, src);
}

namespace {

// Appends characters to a bounded buffer, remembering whether anything was cut.
template <class Char>
struct BoundedWriter {
    Char* dest;
    size_t capacity;  // characters available before the terminator
    size_t used = 0;
    bool cut = false;

    void put(Char c) {
        if (used < capacity) dest[used++] = c;
        else cut = true;
    }
    void repeat(Char c, int count) {
        for (int i = 0; i < count; ++i) put(c);
    }
};

// One character of the other width, converted to this form's width.
template <class Char>
Char convertChar(uint32_t c) {
    if constexpr (sizeof(Char) == 1) return c <= 0xFF ? static_cast<char>(c) : '?';
    else return static_cast<WCHAR>(static_cast<unsigned char>(c));
}

struct Conversion {
    bool left = false, zero = false, plus = false, space = false;
    int width = 0;
    int precision = -1;
};

template <class Char, class Source>
void putPadded(BoundedWriter<Char>& out, const Conversion& conversion, const Source* text, size_t length) {
    int pad = conversion.width > static_cast<int>(length) ? conversion.width - static_cast<int>(length) : 0;
    if (!conversion.left) out.repeat(static_cast<Char>(' '), pad);
    for (size_t i = 0; i < length; ++i) {
        if constexpr (sizeof(Source) == sizeof(Char)) out.put(static_cast<Char>(text[i]));
        else if constexpr (sizeof(Source) == 1) out.put(convertChar<Char>(static_cast<unsigned char>(text[i])));
        else out.put(convertChar<Char>(static_cast<uint16_t>(text[i])));
    }
    if (conversion.left) out.repeat(static_cast<Char>(' '), pad);
}

template <class Char, class Source>
void putString(BoundedWriter<Char>& out, const Conversion& conversion, const Source* text) {
    static const char nullText[] = "(null)";
    if (!text) {
        putPadded(out, conversion, nullText, conversion.precision >= 0 && conversion.precision < 6 ? conversion.precision : 6);
        return;
    }
    size_t length = 0;
    while (text[length] && (conversion.precision < 0 || length < static_cast<size_t>(conversion.precision))) ++length;
    putPadded(out, conversion, text, length);
}

// Digits and sign of a number go through the host formatter into a small buffer first,
// then through the bounded writer.
template <class Char>
void putNumber(BoundedWriter<Char>& out, Conversion conversion, const char* digits, bool numeric) {
    size_t length = 0;
    while (digits[length]) ++length;
    bool zeroPad = numeric && conversion.zero && !conversion.left && conversion.precision < 0;
    if (zeroPad && static_cast<int>(length) < conversion.width) {
        size_t signLength = (digits[0] == '-' || digits[0] == '+' || digits[0] == ' ') ? 1 : 0;
        for (size_t i = 0; i < signLength; ++i) out.put(static_cast<Char>(digits[i]));
        out.repeat(static_cast<Char>('0'), conversion.width - static_cast<int>(length));
        for (size_t i = signLength; i < length; ++i) out.put(static_cast<Char>(digits[i]));
        return;
    }
    conversion.precision = -1;
    putPadded(out, conversion, digits, length);
}

// "%.*f" of `value` as the platform's runtime writes it: the exact decimal value of the
// double, rounded at `precision` digits with a tie going away from zero (the host's
// formatter rounds a tie to even: 0.25 would be "0.2" there, "0.3" here). The sign or the
// space the flags ask for leads. RETURNS false when the digits do not fit `size`.
bool fixedDigits(double value, int precision, const Conversion& conversion, char* digits, size_t size) {
    // Every finite double's decimal expansion ends within 1074 places after the point, so
    // at 1100 places the host writes it exactly and nothing is rounded yet.
    constexpr int kExactPlaces = 1100;
    char exact[kExactPlaces + 320];
    if (!std::isfinite(value) ||
        std::snprintf(exact, sizeof exact, "%.*f", kExactPlaces, value) >= static_cast<int>(sizeof exact))
        return false;
    const char* number = exact[0] == '-' ? exact + 1 : exact;
    size_t point = 0;
    while (number[point] != '.') ++point;
    // The integer digits and `precision` places after the point, without the point; one
    // spare place in front takes a carry that makes the number a digit longer.
    char kept[sizeof exact];
    size_t length = 0;
    kept[length++] = '0';
    for (size_t i = 0; i < point; ++i) kept[length++] = number[i];
    for (int i = 1; i <= precision; ++i) kept[length++] = number[point + i];
    if (number[point + precision + 1] >= '5') {
        size_t i = length;
        while (kept[--i] == '9') kept[i] = '0';
        ++kept[i];
    }
    size_t first = kept[0] == '0' ? 1 : 0;
    size_t integerEnd = point + 1;
    size_t needed = 1 + (length - first) + 1 + 1;  // sign, digits, point, terminator
    if (needed > size) return false;
    size_t used = 0;
    if (exact[0] == '-') digits[used++] = '-';
    else if (conversion.plus) digits[used++] = '+';
    else if (conversion.space) digits[used++] = ' ';
    for (size_t i = first; i < length; ++i) {
        if (i == integerEnd) digits[used++] = '.';
        digits[used++] = kept[i];
    }
    digits[used] = 0;
    return true;
}

template <class Char>
HRESULT formatBounded(Char* dest, size_t cchDest, const Char* format, va_list args) {
    if (cchDest == 0) return STRSAFE_E_INVALID_PARAMETER;
    BoundedWriter<Char> out{dest, cchDest - 1};
    for (const Char* p = format; *p; ++p) {
        if (*p != '%') {
            out.put(*p);
            continue;
        }
        const Char* start = p++;
        Conversion conversion;
        for (;; ++p) {
            if (*p == '-') conversion.left = true;
            else if (*p == '0') conversion.zero = true;
            else if (*p == '+') conversion.plus = true;
            else if (*p == ' ') conversion.space = true;
            else if (*p == '#') continue;
            else break;
        }
        if (*p == '*') {
            conversion.width = va_arg(args, int);
            if (conversion.width < 0) { conversion.left = true; conversion.width = -conversion.width; }
            ++p;
        } else {
            while (*p >= '0' && *p <= '9' && conversion.width < 100000) conversion.width = conversion.width * 10 + (*p++ - '0');
        }
        if (*p == '.') {
            ++p;
            conversion.precision = 0;
            if (*p == '*') {
                conversion.precision = va_arg(args, int);
                ++p;
            } else {
                while (*p >= '0' && *p <= '9' && conversion.precision < 100000) conversion.precision = conversion.precision * 10 + (*p++ - '0');
            }
        }
        bool wide64 = false;
        if (*p == 'l' && p[1] == 'l') { wide64 = true; p += 2; }
        else if (*p == 'I' && p[1] == '6' && p[2] == '4') { wide64 = true; p += 3; }
        else if (*p == 'l' || *p == 'h' || *p == 'w') ++p;  // long is 32 bits on the device

        char digits[512];
        char hostFormat[16];
        int precision = conversion.precision > 60 ? 60 : conversion.precision;
        switch (*p) {
        case 'd':
        case 'i': {
            long long value = wide64 ? va_arg(args, long long) : va_arg(args, int);
            std::snprintf(hostFormat, sizeof hostFormat, "%%%s%s.*lld", conversion.plus ? "+" : "", conversion.space ? " " : "");
            std::snprintf(digits, sizeof digits, hostFormat, precision < 0 ? 1 : precision, value);
            putNumber(out, conversion, digits, true);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned long long value = wide64 ? va_arg(args, unsigned long long) : va_arg(args, unsigned int);
            std::snprintf(hostFormat, sizeof hostFormat, "%%.*ll%c", static_cast<char>(*p));
            std::snprintf(digits, sizeof digits, hostFormat, precision < 0 ? 1 : precision, value);
            putNumber(out, conversion, digits, true);
            break;
        }
        case 'f': {
            double value = va_arg(args, double);
            if (!fixedDigits(value, precision < 0 ? 6 : precision, conversion, digits, sizeof digits))
                std::snprintf(digits, sizeof digits, "%s", "#INF");
            conversion.precision = -1;
            putNumber(out, conversion, digits, true);
            break;
        }
        case 'p':
            std::snprintf(digits, sizeof digits, "%p", va_arg(args, void*));
            putNumber(out, conversion, digits, false);
            break;
        case 'c':
        case 'C': {
            uint32_t value = static_cast<uint32_t>(va_arg(args, int));
            uint32_t otherMask = sizeof(Char) == 1 ? 0xFFFF : 0xFF;  // %C takes the other width
            Char text[1] = {*p == 'c' ? static_cast<Char>(value) : convertChar<Char>(value & otherMask)};
            putPadded(out, conversion, text, 1);
            break;
        }
        case 's':
            putString(out, conversion, va_arg(args, const Char*));
            break;
        case 'S':
            if constexpr (sizeof(Char) == 1) putString(out, conversion, va_arg(args, const WCHAR*));
            else putString(out, conversion, va_arg(args, const char*));
            break;
        case '%':
            out.put('%');
            break;
        default:  // unknown or cut-off conversion: copy it as it stands
            for (const Char* q = start; q <= p && *q; ++q) out.put(*q);
            if (!*p) --p;
            break;
        }
    }
    dest[out.used] = 0;
    return out.cut ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

}  // namespace

HRESULT StringCchPrintfW(WCHAR* dest, size_t cchDest, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    HRESULT result = formatBounded(dest, cchDest, format, args);
    va_end(args);
    return result;
}

HRESULT StringCchPrintfA(char* dest, size_t cchDest, const char* format, ...) {
    va_list args;
    va_start(args, format);
    HRESULT result = formatBounded(dest, cchDest, format, args);
    va_end(args);
    return result;
}
