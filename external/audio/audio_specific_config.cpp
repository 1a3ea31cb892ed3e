#include "external/audio/audio_specific_config.h"

#include <array>

namespace nb::external::audio {
namespace {

constexpr std::uint32_t kObjectTypeLc = 2;
constexpr std::uint32_t kObjectTypeSbr = 5;
constexpr std::uint32_t kRateEscape = 15;
constexpr std::uint8_t kDecoderSpecificInfoTag = 0x05;

// ISO/IEC 14496-3, Table 1.18: sampling frequency index.
constexpr std::array<std::uint32_t, 12> kRatesHz = {96000, 88200, 64000, 48000, 44100, 32000,
                                                    24000, 22050, 16000, 12000, 11025, 8000};

class BitString {
   public:
    void Put(std::uint32_t value, int bits) {
        for (int bit = bits - 1; bit >= 0; --bit) {
            if (m_bits % 8 == 0) m_bytes.push_back(0);
            if (value >> bit & 1) m_bytes.back() |= static_cast<std::uint8_t>(0x80 >> m_bits % 8);
            ++m_bits;
        }
    }
    AudioSpecificConfig Take() { return {std::move(m_bytes), m_bits}; }

   private:
    std::vector<std::uint8_t> m_bytes;
    int m_bits = 0;
};

void PutRate(BitString& bits, std::uint32_t rate_hz) {
    for (std::size_t index = 0; index < kRatesHz.size(); ++index) {
        if (kRatesHz[index] == rate_hz) {
            bits.Put(static_cast<std::uint32_t>(index), 4);
            return;
        }
    }
    bits.Put(kRateEscape, 4);
    bits.Put(rate_hz, 24);
}

}  // namespace

int BuildAudioSpecificConfig(std::uint32_t rate_hz, std::uint32_t channels, HeSignalling he,
                             RateGiven rate_given, AudioSpecificConfig& config) {
    if (channels == 0 || channels == 7 || channels > 8) return kConfigRefused;
    const bool explicit_sbr = he == HeSignalling::On;
    BitString bits;
    bits.Put(explicit_sbr ? kObjectTypeSbr : kObjectTypeLc, 5);
    PutRate(bits, rate_hz);
    bits.Put(channels == 8 ? 7 : channels, 4);
    if (explicit_sbr) {
        PutRate(bits, rate_given == RateGiven::Output ? rate_hz : 2 * rate_hz);
        bits.Put(kObjectTypeLc, 5);
    }
    bits.Put(0, 3);  // frame length 1024, no core coder dependence, no extension
    config = bits.Take();
    return 0;
}

std::vector<std::uint8_t> DecoderSpecificInfo(std::span<const std::uint8_t> config) {
    std::vector<std::uint8_t> descriptor{kDecoderSpecificInfoTag};
    const auto size = static_cast<std::uint32_t>(config.size());
    for (int shift = 21; shift > 0; shift -= 7)
        if (size >> shift)
            descriptor.push_back(static_cast<std::uint8_t>(0x80 | (size >> shift & 0x7F)));
    descriptor.push_back(static_cast<std::uint8_t>(size & 0x7F));
    descriptor.insert(descriptor.end(), config.begin(), config.end());
    return descriptor;
}

}  // namespace nb::external::audio
