#include "platform/kernel/user_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/kernel/fd_io.h"

namespace nb {
namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool KeptBesideTheProgram(const std::string& installed) {
    const bool system_owned = installed == "/usr" || installed.starts_with("/usr/");
    return !system_owned && ::access(FolderOf(installed).c_str(), W_OK) == 0;
}

std::string ConfigurationHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return config;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config";
    return {};
}

// Makes folder and the folders above it that are missing, each mode 0700.
bool MakeFolders(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return true;
    if (errno != ENOENT) return false;
    const std::string parent = FolderOf(folder);
    if (parent == folder || !MakeFolders(parent)) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// Copies source to target unless target exists. The copy is made under a
// name of its own and linked into place, so another process starting at the
// same time never reads half a file and an existing one is never replaced.
bool CopyUnlessPresent(const std::string& source, const std::string& target) {
    if (::access(target.c_str(), F_OK) == 0) return true;
    UniqueFd in = OpenForReading(source);
    if (!in.IsOpen()) return errno == ENOENT;  // nothing shipped: start empty
    std::string staged = target + ".XXXXXX";
    UniqueFd out(::mkstemp(staged.data()));
    if (!out.IsOpen()) return false;
    char chunk[8192];
    bool copied = true;
    for (;;) {
        const ReadResult read = ReadFully(in.Get(), chunk, sizeof chunk);
        if (read.failed || !WriteFully(out.Get(), chunk, read.bytes)) {
            copied = false;
            break;
        }
        if (read.bytes < sizeof chunk) break;
    }
    copied = copied && ::fsync(out.Get()) == 0 &&
             (::link(staged.c_str(), target.c_str()) == 0 || errno == EEXIST);
    ::unlink(staged.c_str());
    return copied;
}

}  // namespace

std::string UserWritableFile(const std::string& installed) {
    if (KeptBesideTheProgram(installed)) return installed;
    const std::string home = ConfigurationHome();
    if (home.empty()) return installed;
    const std::string folder = home + "/nimbra";
    const std::string own = folder + "/" + NameOf(installed);
    if (!MakeFolders(folder) || !CopyUnlessPresent(installed, own)) return installed;
    return own;
}

}  // namespace nb
