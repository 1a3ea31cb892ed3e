#pragma once
// AAC-LC encoder: 16-bit PCM in, one raw access unit per 1024 samples per channel out.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "heaac/window_switching.h"

namespace heaac {

struct EncoderConfig {
    int rate_hz = 44100;  // 22050, 24000, 32000, 44100 or 48000
    int channels = 2;     // 1 or 2
    int bitrate_bps = 64000;
    // Upper edge of the coded spectrum in Hz; 0 lets the encoder choose from the bit rate. When
    // set (as the SBR crossover), no spectral line at or above this frequency is coded.
    int bandwidth_hz = 0;
};

class ChannelEncoder;

class Encoder {
   public:
    struct CreateResult {
        std::unique_ptr<Encoder> encoder;  // null on error
        std::string error;
    };
    // Fails for an unsupported rate, channel count or a bit rate outside 8 to 320 kbit/s per
    // channel or above 5 bits per sample (5/6 of the decoder buffer per frame: 110 kbit/s per
    // channel at 22050 Hz, 220 at 44100), or a negative bandwidth.
    [[nodiscard]] static CreateResult create(const EncoderConfig& config);
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    static constexpr int kFrameSamples = 1024;
    // Samples the decoded stream lags the input by: one frame of transform overlap and one of
    // look-ahead for the window switching.
    [[nodiscard]] static constexpr int delay_samples() { return 2 * kFrameSamples; }

    // Largest extension_payload() a frame can carry: one fill element holds 15 + 255 - 1 bytes.
    static constexpr int kMaxFillPayloadBytes = 269;

    // Encodes exactly 1024 interleaved samples per channel; returns one raw access unit.
    // `fill_payload`, when not empty, is one byte-aligned extension_payload() (starting with
    // its 4-bit extension_type, e.g. EXT_SBR_DATA) of at most kMaxFillPayloadBytes; it is
    // written in a fill element right after the channel element(s), and its bits count
    // against the frame's budget so the stream stays on the target bit rate.
    [[nodiscard]] std::vector<std::uint8_t> encode_frame(
        std::span<const std::int16_t> interleaved, std::span<const std::uint8_t> fill_payload = {});
    // The same for samples as floats at 16-bit scale (full scale +-32768).
    [[nodiscard]] std::vector<std::uint8_t> encode_frame(
        std::span<const float> interleaved, std::span<const std::uint8_t> fill_payload = {});
    // The raw access unit wrapped in a 7-byte ADTS header.
    [[nodiscard]] std::vector<std::uint8_t> to_adts(
        std::span<const std::uint8_t> access_unit) const;
    [[nodiscard]] std::vector<std::uint8_t> audio_specific_config() const;
    [[nodiscard]] const EncoderConfig& config() const { return m_config; }

   private:
    Encoder(const EncoderConfig& config, int sampling_frequency_index);

    EncoderConfig m_config;
    int m_sampling_frequency_index;
    int m_mean_frame_bits;
    int m_reservoir_bits = 0;  // bits saved by earlier frames, spendable now
    int m_max_reservoir_bits;
    std::vector<std::unique_ptr<ChannelEncoder>> m_channels;
    std::vector<float> m_float_samples;  // the int16 input converted
    WindowSequencer m_window_sequencer;
};

}  // namespace heaac
