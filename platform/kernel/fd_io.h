// Whole reads and writes on a file descriptor, riding over short transfers
// and interruptions, and the two ways a plain file is opened.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/automation/wintypes.h"
#include "platform/kernel/unique_fd.h"

namespace nb {

struct ReadResult {
    std::size_t bytes = 0;  // fewer than asked only at the end of the file
    bool failed = false;
};

// Reads until count bytes arrived, the file ended or a read failed.
[[nodiscard]] NB_EXPORT ReadResult ReadFully(int fd, void* buffer, std::size_t count);

// Writes all count bytes; false on any failure (a full disk, a closed pipe).
[[nodiscard]] NB_EXPORT bool WriteFully(int fd, const void* buffer, std::size_t count);
[[nodiscard]] inline bool WriteFully(int fd, std::string_view bytes) {
    return WriteFully(fd, bytes.data(), bytes.size());
}

// An existing file opened for reading; a closed descriptor when it cannot be
// opened or is a folder.
[[nodiscard]] NB_EXPORT UniqueFd OpenForReading(const std::string& path);

// A file created for writing (mode 0666 narrowed by the umask), replacing one
// of the same name.
[[nodiscard]] NB_EXPORT UniqueFd CreateReplacing(const std::string& path);

}  // namespace nb
