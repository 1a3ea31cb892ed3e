#include "heaac/wav_reader.h"

#include <algorithm>

namespace heaac {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 8;

std::uint32_t read_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::uint16_t read_u16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

bool tag_is(std::span<const std::uint8_t> bytes, std::size_t at, const char* tag) {
    for (std::size_t i = 0; i < 4; ++i) {
        if (bytes[at + i] != static_cast<std::uint8_t>(tag[i])) return false;
    }
    return true;
}

}  // namespace

WavParseResult parse_wav(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 12 || !tag_is(bytes, 0, "RIFF") || !tag_is(bytes, 8, "WAVE")) {
        return {std::nullopt, "not a RIFF WAVE file"};
    }
    WavAudio audio;
    bool have_format = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t chunk_size = read_u32(bytes, at + 4);
        const std::size_t body = at + 8;
        const std::size_t available = bytes.size() - body;
        if (tag_is(bytes, at, "fmt ")) {
            if (chunk_size < 16 || available < 16) return {std::nullopt, "short fmt chunk"};
            const std::uint16_t format = read_u16(bytes, body);
            audio.channels = read_u16(bytes, body + 2);
            audio.rate_hz = static_cast<int>(read_u32(bytes, body + 4));
            const std::uint16_t bits = read_u16(bytes, body + 14);
            if ((format != kFormatPcm && format != kFormatExtensible) || bits != 16) {
                return {std::nullopt, "only 16-bit PCM is supported"};
            }
            if (audio.channels < 1 || audio.channels > kMaxChannels || audio.rate_hz <= 0) {
                return {std::nullopt, "bad channel count or sample rate"};
            }
            have_format = true;
        } else if (tag_is(bytes, at, "data")) {
            if (!have_format) return {std::nullopt, "data chunk before fmt chunk"};
            // Streams written while recording may carry a size larger than the file.
            const std::size_t size = std::min<std::size_t>(chunk_size, available);
            const std::size_t frame_bytes = 2 * static_cast<std::size_t>(audio.channels);
            const std::size_t count = size / frame_bytes * static_cast<std::size_t>(audio.channels);
            audio.samples.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                audio.samples[i] = static_cast<std::int16_t>(read_u16(bytes, body + 2 * i));
            }
            return {std::move(audio), {}};
        }
        if (chunk_size > available) break;
        at = body + chunk_size + (chunk_size & 1U);
    }
    return {std::nullopt, "no data chunk"};
}

}  // namespace heaac
