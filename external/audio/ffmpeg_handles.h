// Owners for the FFmpeg objects the transcoder holds: each one is freed by
// the call FFmpeg pairs with its allocation.
#pragma once

#include <memory>

#include "external/audio/ffmpeg_compat.h"

namespace nb::external::audio::ffmpeg {

struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct ConverterDeleter {
    void operator()(SwrContext* converter) const { swr_free(&converter); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
// A reader of our own and its buffer (the buffer may have been replaced by
// FFmpeg, so the one the context holds is freed).
struct IoContextDeleter {
    void operator()(AVIOContext* context) const {
        av_freep(&context->buffer);
        avio_context_free(&context);
    }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using ConverterPtr = std::unique_ptr<SwrContext, ConverterDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// A channel layout with named channels that frees what it owns.
class ChannelLayout {
   public:
    ChannelLayout() = default;
    explicit ChannelLayout(const AVChannelLayout& source) { CopyNamedLayout(m_layout, source); }
    ~ChannelLayout() { av_channel_layout_uninit(&m_layout); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;

    void Assign(const AVChannelLayout& source) {
        av_channel_layout_uninit(&m_layout);
        CopyNamedLayout(m_layout, source);
    }
    const AVChannelLayout& get() const { return m_layout; }
    int channels() const { return m_layout.nb_channels; }
    bool operator==(const ChannelLayout& other) const {
        return SameLayout(m_layout, other.m_layout);
    }

   private:
    AVChannelLayout m_layout{};
};

}  // namespace nb::external::audio::ffmpeg
