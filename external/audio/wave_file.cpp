#include "external/audio/wave_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "platform/kernel/fd_io.h"

namespace nb::external::audio {
namespace {

constexpr WORD kFormatPcm = 1;
constexpr DWORD kFormatChunkBytes = 16;
constexpr DWORD kRiffSizeOverData = 36;

WORD ReadWord(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<WORD>(bytes[offset] | bytes[offset + 1] << 8);
}

DWORD ReadDword(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<DWORD>(bytes[offset]) | static_cast<DWORD>(bytes[offset + 1]) << 8 |
           static_cast<DWORD>(bytes[offset + 2]) << 16 |
           static_cast<DWORD>(bytes[offset + 3]) << 24;
}

bool HasText(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view text) {
    return std::equal(text.begin(), text.end(), bytes.begin() + static_cast<long>(offset),
                      [](char expected, std::uint8_t actual) {
                          return static_cast<std::uint8_t>(expected) == actual;
                      });
}

bool HasCanonicalLayout(std::span<const std::uint8_t> header) {
    return HasText(header, 0, "RIFF") && HasText(header, 8, "WAVEfmt ") &&
           HasText(header, 36, "data") && ReadWord(header, 20) == kFormatPcm &&
           ReadWord(header, 22) == kWaveChannels && ReadDword(header, 24) == kWaveRateHz &&
           ReadDword(header, 28) == kWaveBytesPerSecond &&
           ReadWord(header, 32) == kWaveBytesPerFrame && ReadWord(header, 34) == kWaveBitsPerSample;
}

void PutText(std::span<std::uint8_t> bytes, std::size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<long>(offset));
}

void PutWord(std::span<std::uint8_t> bytes, std::size_t offset, WORD value) {
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutDword(std::span<std::uint8_t> bytes, std::size_t offset, DWORD value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

}  // namespace

WaveHeaderCheck CheckWaveHeader(std::span<const std::uint8_t> first_bytes) {
    if (first_bytes.size() < kWaveHeaderBytes) return {WaveHeaderStatus::ReadFailure, 0};
    if (!HasCanonicalLayout(first_bytes)) return {WaveHeaderStatus::WrongFormat, 0};
    return {WaveHeaderStatus::Accepted, ReadDword(first_bytes, 40)};
}

WaveHeaderCheck ReadWaveHeader(int fd) {
    std::array<std::uint8_t, kWaveHeaderBytes> header{};
    const ReadResult read = ReadFully(fd, header.data(), header.size());
    if (read.failed) return {WaveHeaderStatus::ReadFailure, 0};
    return CheckWaveHeader(std::span(header.data(), read.bytes));
}

WaveHeaderCheck ReadWaveHeader(JobInput& input) {
    std::array<std::uint8_t, kWaveHeaderBytes> header{};
    const ReadResult read = input.Read(header.data(), header.size());
    if (read.failed) return {WaveHeaderStatus::ReadFailure, 0};
    return CheckWaveHeader(std::span(header.data(), read.bytes));
}

std::array<std::uint8_t, kWaveHeaderBytes> MakeWaveHeader(DWORD data_bytes, DWORD rate_hz,
                                                          WORD channels) {
    std::array<std::uint8_t, kWaveHeaderBytes> header{};
    const WORD block_align = static_cast<WORD>(channels * 2);
    PutText(header, 0, "RIFF");
    PutDword(header, 4, data_bytes + kRiffSizeOverData);
    PutText(header, 8, "WAVEfmt ");
    PutDword(header, 16, kFormatChunkBytes);
    PutWord(header, 20, kFormatPcm);
    PutWord(header, 22, channels);
    PutDword(header, 24, rate_hz);
    PutDword(header, 28, rate_hz * block_align);
    PutWord(header, 32, block_align);
    PutWord(header, 34, kWaveBitsPerSample);
    PutText(header, 36, "data");
    PutDword(header, 40, data_bytes);
    return header;
}

HRESULT WriteWaveHeader(int fd, DWORD data_bytes, DWORD rate_hz, WORD channels) {
    if (fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0) return E_FAIL;
    const std::array<std::uint8_t, kWaveHeaderBytes> header =
        MakeWaveHeader(data_bytes, rate_hz, channels);
    return WriteFully(fd, header.data(), header.size()) ? S_OK : E_FAIL;
}

}  // namespace nb::external::audio
