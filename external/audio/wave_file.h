// The canonical wave file every audio operation exchanges: RIFF/WAVE, PCM,
// 16-bit stereo at 44100 Hz behind a header of exactly 44 bytes, and the one
// rule every reader applies to that header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "external/frame/job_files.h"
#include "platform/automation/wintypes.h"

namespace nb::external::audio {

constexpr std::size_t kWaveHeaderBytes = 44;
constexpr DWORD kWaveRateHz = 44100;
constexpr WORD kWaveChannels = 2;
constexpr WORD kWaveBitsPerSample = 16;
constexpr DWORD kWaveBytesPerSecond = 176400;
constexpr WORD kWaveBytesPerFrame = 4;

enum class WaveHeaderStatus {
    Accepted,
    ReadFailure,  // fewer than 44 bytes, or the read failed
    WrongFormat,  // not the canonical layout
};

struct WaveHeaderCheck {
    WaveHeaderStatus status = WaveHeaderStatus::ReadFailure;
    DWORD data_bytes = 0;  // the length field at offset 40, when accepted
};

// Checks the first bytes of a file. Fewer than 44 is a read failure. The
// fields are compared in a fixed order (chunk ids first, then the format
// values); the RIFF size and the format chunk size are not looked at.
[[nodiscard]] WaveHeaderCheck CheckWaveHeader(std::span<const std::uint8_t> first_bytes);

// Reads exactly 44 bytes at the descriptor's position (the start, for a file
// just opened) and checks them. On acceptance the position is at the first
// sample.
[[nodiscard]] WaveHeaderCheck ReadWaveHeader(int fd);
// The same through a job's input, so that a stop ends the wait for a stream
// (a read failure, with the input's Stopped() set).
[[nodiscard]] WaveHeaderCheck ReadWaveHeader(JobInput& input);

// The 44 bytes of a header announcing data_bytes of sound.
std::array<std::uint8_t, kWaveHeaderBytes> MakeWaveHeader(DWORD data_bytes, DWORD rate_hz,
                                                          WORD channels);

// Seeks to offset 0 and writes the header. S_OK only when the descriptor is
// valid, the seek succeeds and all 44 bytes are written; E_FAIL otherwise.
// The position is left after the header, ready for the samples.
[[nodiscard]] HRESULT WriteWaveHeader(int fd, DWORD data_bytes, DWORD rate_hz, WORD channels);

}  // namespace nb::external::audio
