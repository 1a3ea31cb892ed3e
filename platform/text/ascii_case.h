// ASCII case folding for names that are ASCII by definition (schemes,
// header and member names, command-line switches): only A-Z and a-z pair
// up, every other unit compares as itself. For names compared the way the
// system compares resource, profile and registry names, see case_fold.h.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace nb {

template <typename Char>
constexpr Char AsciiLower(Char c) {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}

template <typename Char>
constexpr Char AsciiUpper(Char c) {
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - ('a' - 'A')) : c;
}

namespace detail {
template <typename Char>
std::basic_string<Char> EachUnit(std::basic_string_view<Char> text, Char (*fold)(Char)) {
    std::basic_string<Char> folded(text);
    for (Char& c : folded) c = fold(c);
    return folded;
}
}  // namespace detail

inline std::string AsciiLowerCase(std::string_view text) {
    return detail::EachUnit(text, &AsciiLower<char>);
}
inline std::u16string AsciiLowerCase(std::u16string_view text) {
    return detail::EachUnit(text, &AsciiLower<char16_t>);
}
inline std::string AsciiUpperCase(std::string_view text) {
    return detail::EachUnit(text, &AsciiUpper<char>);
}

template <typename Char>
constexpr bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a,
                                       std::basic_string_view<Char> b) {
    return std::ranges::equal(a, b, [](Char x, Char y) { return AsciiLower(x) == AsciiLower(y); });
}
constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return EqualsIgnoringAsciiCase<char>(a, b);
}
constexpr bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    return EqualsIgnoringAsciiCase<char16_t>(a, b);
}

template <typename Char>
constexpr bool StartsWithIgnoringAsciiCase(std::basic_string_view<Char> text,
                                           std::basic_string_view<Char> prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}
constexpr bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return StartsWithIgnoringAsciiCase<char>(text, prefix);
}
constexpr bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix) {
    return StartsWithIgnoringAsciiCase<char16_t>(text, prefix);
}

}  // namespace nb
