// Plain file access for the audio operations: whole reads and writes that
// ride over short transfers and interruptions, and the two ways a file is
// opened.
#pragma once

#include <cstddef>
#include <string>

#include "external/system/unique_fd.h"

namespace nb::external::audio {

struct ReadResult {
    std::size_t bytes = 0;  // fewer than asked only at the end of the file
    bool failed = false;
};

// Reads until count bytes arrived, the file ended or a read failed.
[[nodiscard]] ReadResult ReadFully(int fd, void* buffer, std::size_t count);

// Writes all count bytes; false on any failure (a full disk included).
[[nodiscard]] bool WriteFully(int fd, const void* buffer, std::size_t count);

// An existing file opened for reading; closed descriptor on failure.
[[nodiscard]] UniqueFd OpenForReading(const std::string& path);

// A file created for writing, replacing one of the same name.
[[nodiscard]] UniqueFd CreateReplacing(const std::string& path);

}  // namespace nb::external::audio
