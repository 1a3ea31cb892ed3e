// The one place that knows which FFmpeg release the audio code is built
// against. Everything else includes this header instead of FFmpeg's own and
// calls the helpers below where the releases differ.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

// The channel layout structure and swr_alloc_set_opts2 arrived with FFmpeg
// 5.1; older releases would need the removed per-field channel interface.
#if LIBAVUTIL_VERSION_INT < AV_VERSION_INT(57, 24, 100) || \
    LIBSWRESAMPLE_VERSION_INT < AV_VERSION_INT(4, 5, 100)
#error "The audio engine needs FFmpeg 5.1 or newer"
#endif

namespace nb::external::audio::ffmpeg {

inline int ChannelCount(const AVCodecParameters& parameters) {
    return parameters.ch_layout.nb_channels;
}

inline int ChannelCount(const AVFrame& frame) { return frame.ch_layout.nb_channels; }

// Copies a layout into target (which must be empty) with named channels.
// Sources that only give a count (raw PCM in some containers) get the usual
// layout for that count, so that a downmix knows which channel is which.
inline void CopyNamedLayout(AVChannelLayout& target, const AVChannelLayout& source) {
    if (source.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_copy(&target, &source) < 0)
        av_channel_layout_default(&target, source.nb_channels);
}

// FFmpeg's AV_CHANNEL_LAYOUT_STEREO initialiser leaves a member out, which
// C++ compilers warn about.
inline AVChannelLayout StereoLayout() {
    AVChannelLayout stereo{};
    av_channel_layout_default(&stereo, 2);
    return stereo;
}

inline bool SameLayout(const AVChannelLayout& a, const AVChannelLayout& b) {
    return av_channel_layout_compare(&a, &b) == 0;
}

// A converter to interleaved 16-bit stereo at out_rate_hz, not yet
// initialised; null on failure. The layout pointers are not const in 5.1.
inline SwrContext* AllocateStereoConverter(const AVChannelLayout& in_layout,
                                           AVSampleFormat in_format, int in_rate_hz,
                                           int out_rate_hz) {
    AVChannelLayout stereo = StereoLayout();
    AVChannelLayout input = in_layout;  // a shallow copy; the converter copies it deeply
    SwrContext* converter = nullptr;
    if (swr_alloc_set_opts2(&converter, &stereo, AV_SAMPLE_FMT_S16, out_rate_hz, &input, in_format,
                            in_rate_hz, 0, nullptr) < 0)
        return nullptr;
    return converter;
}

// swr_convert's input became a pointer to const pointers in FFmpeg 7; this
// form converts to both.
inline int Convert(SwrContext* converter, std::uint8_t* out, int out_frames, const AVFrame* in) {
    std::uint8_t* outputs[] = {out};
    const auto inputs = in ? const_cast<const std::uint8_t**>(in->extended_data) : nullptr;
    return swr_convert(converter, outputs, out_frames, inputs, in ? in->nb_samples : 0);
}

// Decoder settings: bugs of known encoders worked round by autodetection,
// careful error detection without giving up, and concealment of damage.
inline void ApplyForgivingDecoding(AVCodecContext& decoder) {
    decoder.workaround_bugs = FF_BUG_AUTODETECT;
    decoder.err_recognition = AV_EF_CAREFUL;
    decoder.error_concealment = FF_EC_GUESS_MVS | FF_EC_DEBLOCK;
    decoder.debug = 0;
    decoder.lowres = 0;
    decoder.idct_algo = FF_IDCT_AUTO;
    decoder.skip_frame = AVDISCARD_DEFAULT;
    decoder.skip_idct = AVDISCARD_DEFAULT;
    decoder.skip_loop_filter = AVDISCARD_DEFAULT;
}

}  // namespace nb::external::audio::ffmpeg
