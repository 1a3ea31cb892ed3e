// Case-insensitive member names. Two names match when their folded forms are
// equal: every code point is mapped to lower case (simple, one-to-one Unicode
// mappings, surrogate pairs decoded), and the text ends at the first zero unit,
// as the system's zero-terminated case-insensitive compare sees it.
#pragma once

#include <string>
#include <string_view>

namespace nb::utils {

// The form under which case-insensitive names are indexed and compared.
std::u16string FoldName(std::u16string_view name);

}  // namespace nb::utils
