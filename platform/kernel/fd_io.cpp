#include "platform/kernel/fd_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace nb {
namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask

}  // namespace

ReadResult ReadFully(int fd, void* buffer, std::size_t count) {
    ReadResult result;
    auto* bytes = static_cast<char*>(buffer);
    while (result.bytes < count) {
        const ssize_t got = ::read(fd, bytes + result.bytes, count - result.bytes);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            result.failed = true;
            break;
        }
        result.bytes += static_cast<std::size_t>(got);
    }
    return result;
}

bool WriteFully(int fd, const void* buffer, std::size_t count) {
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t written = 0;
    while (written < count) {
        const ssize_t put = ::write(fd, bytes + written, count - written);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        written += static_cast<std::size_t>(put);
    }
    return true;
}

UniqueFd OpenForReading(const std::string& path) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    // A folder opens for reading here, but it is not a file anybody can read.
    struct stat info {};
    if (file.IsOpen() && (::fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode))) file.Reset();
    return file;
}

UniqueFd CreateReplacing(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode));
}

}  // namespace nb
