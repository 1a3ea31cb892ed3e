#include "platform/text/case_fold.h"

#include <algorithm>

namespace nb {

char16_t UpperCaseChar(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c < 0x80) return c;
    // Latin-1 letters, Greek (final sigma aside) and the basic Cyrillic
    // block sit 0x20 above their capitals.
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    // Latin Extended-A pairs: even upper, odd lower, except in the two runs
    // where the pairs start on an odd code point; a few letters have no pair.
    if (c >= 0x100 && c <= 0x17E && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
        bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        bool is_lower = odd_upper ? (c % 2 == 0) : (c % 2 == 1);
        if (is_lower) return static_cast<char16_t>(c - 1);
    }
    return c;
}

std::u16string UpperCase(std::u16string_view text) {
    std::u16string upper(text);
    for (char16_t& c : upper) c = UpperCaseChar(c);
    return upper;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return std::ranges::equal(
        a, b, [](char16_t x, char16_t y) { return UpperCaseChar(x) == UpperCaseChar(y); });
}

}  // namespace nb
