// Turns decoded frames into canonical samples: interleaved 16-bit stereo at
// 44100 Hz. Frames already in that form are copied as they are; others go
// through a converter that changes only what differs, so a 44100 Hz stereo
// source is never resampled.
#pragma once

#include <cstdint>
#include <vector>

#include "external/audio/ffmpeg_handles.h"

namespace nb::external::audio {

class StereoConverter {
   public:
    StereoConverter() = default;
    StereoConverter(const StereoConverter&) = delete;
    StereoConverter& operator=(const StereoConverter&) = delete;

    // Sets up for the output the decoder announces, when it announces one
    // (some decoders only tell with their first frame). False when a
    // converter is needed and cannot be made.
    [[nodiscard]] bool Prepare(const AVCodecContext& decoder);

    // Appends the frame's sound to samples. A frame whose format differs
    // from the previous one's (a chained stream) gets a new converter after
    // the old one handed out what it held. False when that cannot be made.
    [[nodiscard]] bool Append(const AVFrame& frame, std::vector<std::int16_t>& samples);

    // Appends what the converter still holds back (a resampler's delay).
    void Drain(std::vector<std::int16_t>& samples);

   private:
    static constexpr int kOutputRateHz = 44100;

    bool Configure(const AVChannelLayout& layout, AVSampleFormat format, int rate_hz);
    bool MatchesInput(const AVFrame& frame) const;
    bool IsCanonicalInput() const;
    void Run(const AVFrame* frame, int out_frames, std::vector<std::int16_t>& samples);

    ffmpeg::ConverterPtr m_converter;
    ffmpeg::ChannelLayout m_input_layout;
    AVSampleFormat m_input_format = AV_SAMPLE_FMT_NONE;
    int m_input_rate_hz = 0;
};

}  // namespace nb::external::audio
