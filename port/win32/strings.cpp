// Case rules of the handheld's C library on the desktop: Unicode's simple one-to-one case
// pairs (the invariant locale's lowercase), where the desktop's C library in its default
// locale lowers A to Z only, so that "CAFÉ" and "café" differ there.
#include "port/win32/port.h"

#undef _wcsicmp
#undef _wcslwr

namespace {

WCHAR lowered(WCHAR c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? static_cast<WCHAR>(c + 32) : c;
    WCHAR result = c;
    if (!LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &c, 1, &result, 1, nullptr, nullptr, 0)) return c;
    return result;
}

}  // namespace

int __cdecl portWcsicmp(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        int difference = static_cast<int>(lowered(*a)) - static_cast<int>(lowered(*b));
        if (difference != 0 || *a == 0) return difference;
    }
}

WCHAR* __cdecl portWcslwr(WCHAR* text) {
    for (WCHAR* c = text; *c; ++c) *c = lowered(*c);
    return text;
}
