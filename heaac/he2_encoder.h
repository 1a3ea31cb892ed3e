#pragma once
// HE-AAC v2 encoder: 44100 Hz stereo in, parametric stereo and SBR over an AAC-LC core at
// 22050 Hz mono; one access unit per 2048 input frames.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace heaac {

struct He2Config {
    int bitrate_bps = 32000;  // whole stream: core, SBR and parametric stereo; 24000 to 48000
};

class He2Encoder {
   public:
    struct CreateResult {
        std::unique_ptr<He2Encoder> encoder;  // null on error
        std::string error;
    };
    [[nodiscard]] static CreateResult create(const He2Config& config);
    ~He2Encoder();
    He2Encoder(const He2Encoder&) = delete;
    He2Encoder& operator=(const He2Encoder&) = delete;

    static constexpr int kInputRateHz = 44100;
    static constexpr int kCoreRateHz = 22050;
    static constexpr int kInputFrames = 2048;  // stereo frames per access unit

    struct Frame {
        std::vector<std::uint8_t> access_unit;  // one raw access unit
        int ancillary_bytes = 0;                // SBR and parametric stereo payload inside it
    };
    // Encodes up to 2048 interleaved stereo frames (left, right) of 16-bit scale floats; a short
    // last block is completed with silence.
    [[nodiscard]] Frame encode(std::span<const float> interleaved);

    // Frames at 44100 Hz by which the decoded stream lags the input.
    [[nodiscard]] int delay_frames() const;
    // Core 22050 Hz, one channel, explicit SBR signalling: 2B 8A 08 00.
    [[nodiscard]] std::vector<std::uint8_t> audio_specific_config() const;
    // The raw access unit wrapped in an ADTS header (core rate, one channel, AAC-LC profile).
    [[nodiscard]] std::vector<std::uint8_t> to_adts(
        std::span<const std::uint8_t> access_unit) const;

   private:
    He2Encoder();
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace heaac
