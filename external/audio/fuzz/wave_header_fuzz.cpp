// Any first bytes of a file. The check accepts exactly the headers the
// writer makes, whatever the two fields it does not look at hold, and reads
// from a file the same answer it gives on the bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "external/audio/wave_file.h"

namespace {

using nb::external::audio::kWaveHeaderBytes;

bool IsWriterHeader(std::span<const std::uint8_t> bytes, DWORD data_bytes) {
    auto expected = nb::external::audio::MakeWaveHeader(data_bytes, 44100, 2);
    // The RIFF size and the format chunk size are not checked.
    std::copy_n(bytes.begin() + 4, 4, expected.begin() + 4);
    std::copy_n(bytes.begin() + 16, 4, expected.begin() + 16);
    return std::equal(expected.begin(), expected.end(), bytes.begin());
}

DWORD LengthField(std::span<const std::uint8_t> bytes) {
    return static_cast<DWORD>(bytes[40] | bytes[41] << 8 | bytes[42] << 16) |
           static_cast<DWORD>(bytes[43]) << 24;
}

void CheckFromFile(std::span<const std::uint8_t> bytes,
                   const nb::external::audio::WaveHeaderCheck& expected) {
    const int fd = memfd_create("wave_header", 0);
    if (fd < 0) return;
    if (write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
        lseek(fd, 0, SEEK_SET) == 0) {
        const auto read = nb::external::audio::ReadWaveHeader(fd);
        if (read.status != expected.status || read.data_bytes != expected.data_bytes) std::abort();
    }
    close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using nb::external::audio::WaveHeaderStatus;
    const std::span<const std::uint8_t> bytes(data, size);
    const auto check = nb::external::audio::CheckWaveHeader(bytes);
    if (size < kWaveHeaderBytes) {
        if (check.status != WaveHeaderStatus::ReadFailure) std::abort();
    } else {
        const bool canonical = IsWriterHeader(bytes, LengthField(bytes));
        if (canonical != (check.status == WaveHeaderStatus::Accepted)) std::abort();
        if (canonical && check.data_bytes != LengthField(bytes)) std::abort();
        if (!canonical && check.status != WaveHeaderStatus::WrongFormat) std::abort();
    }
    CheckFromFile(bytes, check);
    return 0;
}
