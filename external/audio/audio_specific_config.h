// The MPEG-4 audio specific configuration of an AAC track (ISO/IEC 14496-3,
// 1.6.2.1) and the DecoderSpecificInfo descriptor that carries it in the
// track's elementary stream descriptor (ISO/IEC 14496-1, 7.2.6.7).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace nb::external::audio {

// Whether spectral band replication is signalled explicitly (object type 5
// with the output rate and the core's object type).
enum class HeSignalling { Off, On };
// With HE signalling the output rate is twice the core rate, unless the
// caller's rate already is the output rate.
enum class RateGiven { Core, Output };

struct AudioSpecificConfig {
    std::vector<std::uint8_t> bytes;  // padded with zero bits to whole bytes
    int bits = 0;                     // before the padding
};

constexpr int kConfigRefused = -1;

// 0 and the configuration, or kConfigRefused for a channel count that has
// no channel configuration (0, 7, more than 8; 8 is written as 7).
[[nodiscard]] int BuildAudioSpecificConfig(std::uint32_t rate_hz, std::uint32_t channels,
                                           HeSignalling he, RateGiven rate_given,
                                           AudioSpecificConfig& config);

// Tag 0x05, the configuration's length in the expandable size encoding,
// then the configuration.
std::vector<std::uint8_t> DecoderSpecificInfo(std::span<const std::uint8_t> config);

}  // namespace nb::external::audio
