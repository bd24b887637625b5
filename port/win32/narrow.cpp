// 8-bit formatting as the handheld does it. The handheld's StringCchPrintfA writes a wide
// string ("%S") in its 8-bit code page, each character it lacks (any above U+00FF) as '?'.
// The desktop's runtime converts through the current locale instead and, in the default
// one, fails the whole call at the first such character, leaving an empty text.
//
// So the 8-bit format is formatted wide, where the desktop converts nothing it cannot
// hold: its narrow and wide string and character conversions trade places ("%s" for
// "%S", "%c" for "%C"), the arguments stay as they are, and the wide result is narrowed
// one character to one byte. Narrow text reaches the wide result byte for byte, so it
// comes back unchanged; the cut at the buffer's end falls at the same place.
#include "port/win32/port.h"

#include <cstdarg>
#include <string>

#undef StringCchPrintfA

namespace {

// The format with its unsized string and character conversions swapped, widened byte for
// byte. Sized ones ("%hs", "%ls", "%hc", "%lc") mean the same in both families.
std::wstring swappedWideFormat(const char* format) {
    std::wstring wide;
    for (const char* p = format; *p; ++p) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
        if (*p != '%') continue;
        ++p;
        while (*p && std::char_traits<char>::find("-+ #0123456789.*", 16, *p)) {
            wide += static_cast<wchar_t>(*p);
            ++p;
        }
        bool sized = false;
        while (*p == 'h' || *p == 'l' || *p == 'w' || *p == 'L' || *p == 'I') {
            sized = true;
            bool digitsFollow = *p == 'I';  // "I32", "I64"
            wide += static_cast<wchar_t>(*p++);
            while (digitsFollow && *p >= '0' && *p <= '9') wide += static_cast<wchar_t>(*p++);
        }
        if (!*p) break;
        char conversion = *p;
        if (!sized && (conversion == 's' || conversion == 'S' || conversion == 'c' || conversion == 'C'))
            conversion ^= 0x20;  // the other case
        wide += static_cast<wchar_t>(static_cast<unsigned char>(conversion));
    }
    return wide;
}

}  // namespace

HRESULT portStringCchPrintfA(char* dest, size_t cchDest, const char* format, ...) {
    if (cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    std::wstring wideFormat = swappedWideFormat(format);
    std::wstring text(cchDest, L'\0');
    va_list args;
    va_start(args, format);
    HRESULT result = StringCchVPrintfW(text.data(), cchDest, wideFormat.c_str(), args);
    va_end(args);
    for (size_t i = 0; i < cchDest; ++i) {
        dest[i] = text[i] <= 0xFF ? static_cast<char>(text[i]) : '?';
        if (!text[i]) break;
    }
    return result;
}
