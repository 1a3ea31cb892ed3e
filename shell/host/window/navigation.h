// The URL rules of navigation: local URLs given relative to the program's
// directory are made absolute before the engine sees them.
#pragma once

#include <string>
#include <string_view>

namespace nb::shell {

// "file:", "x-mrs" and "res:" URLs (any letter case) whose part after ':'
// is not already an absolute path ("///...") become scheme + "://" +
// program_directory + "/!/" (x-mrs) or "/" (others) + the rest, where the
// rest is what follows ':' or "://". Other URLs are returned unchanged.
std::u16string MakeAbsoluteUrl(std::u16string_view url, std::u16string_view program_directory);

}  // namespace nb::shell
