#include "external/audio/stereo_converter.h"

#include <algorithm>

namespace nb::external::audio {
namespace {

constexpr int kOutputChannels = 2;

// A mono source plays on both channels at its own level; the library's own
// upmix would lower it by 3 dB.
constexpr double kMonoToStereo[] = {1.0, 1.0};

}  // namespace

bool StereoConverter::Prepare(const AVCodecContext& decoder) {
    if (decoder.sample_fmt == AV_SAMPLE_FMT_NONE || decoder.sample_rate <= 0 ||
        decoder.ch_layout.nb_channels <= 0)
        return true;
    return Configure(decoder.ch_layout, decoder.sample_fmt, decoder.sample_rate);
}

bool StereoConverter::Configure(const AVChannelLayout& layout, AVSampleFormat format, int rate_hz) {
    m_converter.reset();
    m_input_layout.Assign(layout);
    m_input_format = format;
    m_input_rate_hz = rate_hz;
    if (IsCanonicalInput()) return true;
    m_converter.reset(
        ffmpeg::AllocateStereoConverter(m_input_layout.get(), format, rate_hz, kOutputRateHz));
    if (!m_converter) return false;
    if (m_input_layout.channels() == 1 &&
        swr_set_matrix(m_converter.get(), kMonoToStereo, m_input_layout.channels()) < 0)
        return false;
    return swr_init(m_converter.get()) >= 0;
}

bool StereoConverter::IsCanonicalInput() const {
    const ffmpeg::ChannelLayout stereo(ffmpeg::StereoLayout());
    return m_input_format == AV_SAMPLE_FMT_S16 && m_input_rate_hz == kOutputRateHz &&
           m_input_layout == stereo;
}

bool StereoConverter::MatchesInput(const AVFrame& frame) const {
    return frame.format == m_input_format && frame.sample_rate == m_input_rate_hz &&
           ffmpeg::ChannelLayout(frame.ch_layout) == m_input_layout;
}

bool StereoConverter::Append(const AVFrame& frame, std::vector<std::int16_t>& samples) {
    if (!MatchesInput(frame)) {
        Drain(samples);
        if (!Configure(frame.ch_layout, static_cast<AVSampleFormat>(frame.format),
                       frame.sample_rate))
            return false;
    }
    if (!m_converter) {
        const auto* first = reinterpret_cast<const std::int16_t*>(frame.data[0]);
        samples.insert(samples.end(), first, first + frame.nb_samples * kOutputChannels);
        return true;
    }
    Run(&frame, swr_get_out_samples(m_converter.get(), frame.nb_samples), samples);
    return true;
}

void StereoConverter::Drain(std::vector<std::int16_t>& samples) {
    if (m_converter) Run(nullptr, swr_get_out_samples(m_converter.get(), 0), samples);
}

void StereoConverter::Run(const AVFrame* frame, int out_frames,
                          std::vector<std::int16_t>& samples) {
    out_frames = std::max(out_frames, 0);
    const std::size_t start = samples.size();
    samples.resize(start + static_cast<std::size_t>(out_frames) * kOutputChannels);
    auto* out = reinterpret_cast<std::uint8_t*>(samples.data() + start);
    const int converted = ffmpeg::Convert(m_converter.get(), out, out_frames, frame);
    samples.resize(start + static_cast<std::size_t>(std::max(converted, 0)) * kOutputChannels);
}

}  // namespace nb::external::audio
