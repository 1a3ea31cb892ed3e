// The decimal number at the start of a text, the way the C library's strtol
// finds it: leading blanks, an optional sign, then the run of ASCII digits.
// Callers differ in what a value too large for them becomes, so the digits
// are handed over and each caller picks clamping or wrapping explicitly.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace nb {

enum class Blanks {
    kCLocale,           // space and \t \n \v \f \r, as isspace in the C locale
    kSpaceTabLineEnds,  // space, \t, \r and \n only
};

template <typename Char>
struct DecimalPrefix {
    bool negative = false;
    std::basic_string_view<Char> digits;  // empty when no digit follows
};

template <typename Char>
constexpr bool IsBlank(Char c, Blanks blanks) {
    if (c == Char(' ') || c == Char('\t') || c == Char('\r') || c == Char('\n')) return true;
    return blanks == Blanks::kCLocale && (c == Char('\v') || c == Char('\f'));
}

template <typename Char>
constexpr DecimalPrefix<Char> FindDecimalPrefix(std::basic_string_view<Char> text, Blanks blanks) {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at], blanks)) ++at;
    DecimalPrefix<Char> found;
    if (at < text.size() && (text[at] == Char('+') || text[at] == Char('-')))
        found.negative = text[at++] == Char('-');
    std::size_t end = at;
    while (end < text.size() && text[end] >= Char('0') && text[end] <= Char('9')) ++end;
    found.digits = text.substr(at, end - at);
    return found;
}

// The value modulo 2^N of the unsigned type, negated modulo 2^N for a minus
// sign, as strtoul computes it before its range check.
template <std::unsigned_integral Unsigned, typename Char>
constexpr Unsigned WrappedDecimal(const DecimalPrefix<Char>& prefix) {
    Unsigned value = 0;
    for (Char c : prefix.digits)
        value = static_cast<Unsigned>(value * 10u + Unsigned(c - Char('0')));
    return prefix.negative ? static_cast<Unsigned>(Unsigned{0} - value) : value;
}

// The value clamped to the signed type's range, as strtol returns it.
template <std::signed_integral Signed, typename Char>
constexpr Signed ClampedDecimal(const DecimalPrefix<Char>& prefix) {
    using Limits = std::numeric_limits<Signed>;
    using Unsigned = std::make_unsigned_t<Signed>;
    // The magnitude of the lowest value is one more than the highest's.
    const Unsigned limit = static_cast<Unsigned>(Limits::max()) + (prefix.negative ? 1u : 0u);
    Unsigned magnitude = 0;
    for (Char c : prefix.digits) {
        const auto digit = static_cast<Unsigned>(c - Char('0'));
        if (magnitude > (limit - digit) / 10)
            return prefix.negative ? Limits::min() : Limits::max();
        magnitude = static_cast<Unsigned>(magnitude * 10 + digit);
    }
    if (!prefix.negative) return static_cast<Signed>(magnitude);
    return magnitude == limit ? Limits::min()
                              : static_cast<Signed>(-static_cast<Signed>(magnitude));
}

}  // namespace nb
