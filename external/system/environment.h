// Expanding environment-variable references in text: the %NAME% form pages
// written for other systems use, and the $NAME and ${NAME} forms of this one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nb::external {

// The longest expansion answered, in UTF-16 units: the limit of an
// environment block entry and of a command line.
constexpr std::size_t kMaxExpandedLength = 32767;

// The value of a variable, or nothing when it is not set.
using EnvironmentLookup = std::function<std::optional<std::u16string>(std::u16string_view name)>;

// One pass from left to right; values are inserted as they are, not scanned
// again.
//  - "%NAME%": NAME is everything up to the next "%". A set variable is
//    replaced by its value; otherwise "%NAME%" stays as written (so "%%"
//    stays too) and the scan goes on after it. A "%" with no other after it
//    stays.
//  - "$NAME" (NAME: a letter or "_", then letters, digits and "_", taken as
//    long as possible) and "${NAME}": a set variable is replaced; otherwise
//    the reference stays as written. A "$" followed by anything else stays.
// Nothing when the result would be longer than kMaxExpandedLength.
std::optional<std::u16string> ExpandEnvironment(std::u16string_view text,
                                                const EnvironmentLookup& lookup);

// The same over the process environment. Names are matched exactly, case
// included, as this platform's environment does; a name holding "=" or a
// zero unit is never set.
std::optional<std::u16string> ExpandEnvironment(std::u16string_view text);

}  // namespace nb::external
