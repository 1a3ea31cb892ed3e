#include "external/storage/jar_file.h"

#include "platform/kernel/program_paths.h"
#include "platform/kernel/user_files.h"
#include "platform/text/code_pages.h"

namespace nb::external {
namespace {

// path with the extension of its file name replaced by extension, or
// extension added when the name has none.
std::string WithExtension(const std::string& path, const std::string& extension) {
    const std::size_t name = path.rfind('/') + 1;  // 0 without a folder
    const std::size_t dot = path.rfind('.');
    const bool has_extension = dot != std::string::npos && dot > name;
    return (has_extension ? path.substr(0, dot) : path) + "." + extension;
}

}  // namespace

std::u16string JarPath() {
    // This code is linked into the library, so its address names the library.
    const std::string library = ModulePathOf(reinterpret_cast<const void*>(&JarPath));
    if (library.empty()) return {};
    return ToUtf16(UserWritableFile(WithExtension(library, "jar")));
}

}  // namespace nb::external
