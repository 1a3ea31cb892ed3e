#include "external/audio/lame_enc/info_tag_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/kernel/unique_fd.h"

namespace nb::lame_enc {
namespace {

constexpr std::size_t kId3HeaderBytes = 10;
constexpr std::uint8_t kId3FooterFlag = 0x10;
// The frame header bytes that fix a frame's kind and length: sync, version,
// layer, checksum, bit rate, sample rate and padding.
constexpr std::size_t kComparedHeaderBytes = 3;

bool ReadAt(int fd, std::span<std::uint8_t> buffer, off_t offset) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = pread(fd, buffer.data() + done, buffer.size() - done,
                                  offset + static_cast<off_t>(done));
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteAt(int fd, std::span<const std::uint8_t> buffer, off_t offset) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t put = pwrite(fd, buffer.data() + done, buffer.size() - done,
                                   offset + static_cast<off_t>(done));
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Where the sound starts: after an ID3v2 tag, whose size is stored in four
// bytes of seven bits each, or at 0.
std::optional<off_t> SoundStart(int fd) {
    std::array<std::uint8_t, kId3HeaderBytes> header{};
    if (!ReadAt(fd, header, 0)) return std::nullopt;
    if (std::memcmp(header.data(), "ID3", 3) != 0) return 0;
    off_t size = 0;
    for (std::size_t index = 6; index < kId3HeaderBytes; ++index)
        size = (size << 7) | (header[index] & 0x7F);
    const off_t footer = (header[5] & kId3FooterFlag) ? kId3HeaderBytes : 0;
    return static_cast<off_t>(kId3HeaderBytes) + size + footer;
}

}  // namespace

bool WriteInfoTagFrame(const char* file_name, std::span<const std::uint8_t> tag_frame) {
    if (!file_name || tag_frame.size() < kComparedHeaderBytes) return false;
    const nb::UniqueFd file(open(file_name, O_RDWR | O_CLOEXEC));
    if (!file.IsOpen()) return false;
    const std::optional<off_t> start = SoundStart(file.Get());
    if (!start) return false;
    std::vector<std::uint8_t> placeholder(tag_frame.size());
    if (!ReadAt(file.Get(), placeholder, *start)) return false;
    if (!std::equal(tag_frame.begin(), tag_frame.begin() + kComparedHeaderBytes,
                    placeholder.begin()))
        return false;
    return WriteAt(file.Get(), tag_frame, *start);
}

}  // namespace nb::lame_enc
