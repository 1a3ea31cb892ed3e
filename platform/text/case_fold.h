// Case-insensitive comparison of names the way the system compares resource,
// profile and registry names: each character upper-cased on its own (no
// expansions such as German sharp s), so lengths always match.
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/wintypes.h"

namespace nb {

// The upper-case form of a Latin, Greek or Cyrillic letter; every other
// character is returned unchanged.
NB_EXPORT char16_t UpperCaseChar(char16_t c);
NB_EXPORT std::u16string UpperCase(std::u16string_view text);
NB_EXPORT bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace nb
