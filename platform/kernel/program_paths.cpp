#include "platform/kernel/program_paths.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace nb {
namespace {

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string ProgramPath() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    return std::string(path, static_cast<std::size_t>(length));
}

std::string ProgramDirectory() {
    const std::string program = ProgramPath();
    return program.empty() ? "." : DirectoryOf(program);
}

std::string ModulePathOf(const void* address) {
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname) return {};
    // The program itself may be reported without a name.
    if (!info.dli_fname[0]) return ProgramPath();
    const std::string loaded = info.dli_fname;
    if (loaded.starts_with('/')) return loaded;
    // A module loaded by a relative name is reported by that name.
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(loaded.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

std::string ModuleDirectoryOf(const void* address) {
    const std::string module = ModulePathOf(address);
    return module.empty() ? std::string() : DirectoryOf(module);
}

std::string TemporaryDirectory() {
    const char* variable = std::getenv("TMPDIR");
    std::string directory = (variable && variable[0] == '/') ? variable : "/tmp";
    while (!directory.empty() && directory.back() == '/') directory.pop_back();
    return directory;
}

}  // namespace nb
