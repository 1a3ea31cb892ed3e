#include "external/files/user_places.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "external/files/user_dirs.h"
#include "platform/kernel/unique_fd.h"

namespace nb::external {
namespace {

// user-dirs.dirs holds a dozen short lines; more than this is not one.
constexpr std::size_t kUserDirsFileLimit = 64 * 1024;

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::optional<std::string> AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return std::nullopt;
    return WithoutTrailingSlashes(value);
}

std::optional<std::string> PasswordHome() {
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir || found->pw_dir[0] != '/')
        return std::nullopt;
    return WithoutTrailingSlashes(found->pw_dir);
}

std::optional<std::string> BaseDirectory(const char* variable, std::string_view under_home) {
    if (auto path = AbsoluteVariable(variable)) return path;
    const std::optional<std::string> home = HomeDirectory();
    if (!home) return std::nullopt;
    return (*home == "/" ? std::string() : *home) + "/" + std::string(under_home);
}

std::string ReadSmallFile(const std::string& path) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (!file.IsOpen()) return text;
    char chunk[4096];
    while (text.size() < kUserDirsFileLimit) {
        const ssize_t count = ::read(file.Get(), chunk, sizeof chunk);
        if (count <= 0) break;
        text.append(chunk, static_cast<std::size_t>(count));
    }
    return text;
}

}  // namespace

std::optional<std::string> HomeDirectory() {
    if (auto home = AbsoluteVariable("HOME")) return home;
    return PasswordHome();
}

std::optional<std::string> ConfigHome() { return BaseDirectory("XDG_CONFIG_HOME", ".config"); }
std::optional<std::string> DataHome() { return BaseDirectory("XDG_DATA_HOME", ".local/share"); }
std::optional<std::string> CacheHome() { return BaseDirectory("XDG_CACHE_HOME", ".cache"); }

std::optional<std::string> UserDirectory(std::string_view key, std::string_view default_name) {
    const std::optional<std::string> home = HomeDirectory();
    if (!home) return std::nullopt;
    if (const std::optional<std::string> config = ConfigHome()) {
        const std::string text = ReadSmallFile(*config + "/user-dirs.dirs");
        if (auto recorded = FindUserDir(text, key, *home)) return recorded;
    }
    return (*home == "/" ? std::string() : *home) + "/" + std::string(default_name);
}

}  // namespace nb::external
