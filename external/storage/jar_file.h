// The jar: the extension library's private settings file, an INI file
// beside the library named like it with the extension "jar"
// (internals/NbExternal.so keeps internals/NbExternal.jar), or its user's
// copy when the library is installed (UserWritableFile).
#pragma once

#include <string>

namespace nb::external {

// The jar's path as the profile calls take it; "" when the library's own
// path cannot be found.
std::u16string JarPath();

}  // namespace nb::external
