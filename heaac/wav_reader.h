#pragma once
// Reader of 16-bit PCM WAV files (RIFF, WAVE_FORMAT_PCM or WAVE_FORMAT_EXTENSIBLE).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace heaac {

struct WavAudio {
    int rate_hz = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;  // interleaved
};

struct WavParseResult {
    std::optional<WavAudio> audio;  // empty on error
    std::string error;
};

// Parses a whole WAV file held in memory. Any malformed or unsupported input gives an error.
[[nodiscard]] WavParseResult parse_wav(std::span<const std::uint8_t> bytes);

}  // namespace heaac
