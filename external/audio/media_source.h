// A media file opened for its sound: the container read packet by packet,
// its last audio stream chosen and decoded, every other stream discarded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "external/audio/ffmpeg_handles.h"
#include "external/frame/job_files.h"
#include "platform/kernel/expected.h"

namespace nb::external::audio {

enum class SourceFailure {
    None,
    NotMedia,      // the file cannot be opened as a media file
    NoStreamInfo,  // its streams cannot be described
    NoAudioStream,
    NoDecoder,  // no decoder for the audio stream's codec
    DecoderNotOpened,
};

class MediaSource {
   public:
    using Opened = Expected<std::unique_ptr<MediaSource>, SourceFailure>;
    // Reads the opened input (a file, or a stream read as it comes; never a
    // network address) and prepares the decoder of its last audio stream.
    // The path is only a hint to the container's kind.
    [[nodiscard]] static Opened Open(JobInput input, const std::string& path);

    // True when a stop ended a read: whatever failed after it failed for it.
    bool Stopped() const { return m_input && m_input->Stopped(); }

    // The input's size in bytes, 0 when it has none (a pipe).
    std::int64_t FileSize() const { return m_file_size; }
    const AVCodecContext& decoder() const { return *m_decoder; }

    // Reads the container's next packet, of any stream, in place of the
    // previous one; false at its end or on a read error it cannot get past.
    [[nodiscard]] bool ReadPacket();
    // The size of the packet read last, and whether it is of the chosen stream.
    int PacketBytes() const { return m_packet->size; }
    bool IsPacketChosen() const { return m_packet->stream_index == m_stream_index; }

    // Decodes the packet read last and gives every frame to the sink. Damage
    // is skipped: the decoder conceals what it can and the rest of a broken
    // packet is dropped. False only when the sink refused a frame.
    using FrameSink = std::function<bool(const AVFrame&)>;
    [[nodiscard]] bool DecodePacket(const FrameSink& sink) { return Decode(m_packet.get(), sink); }
    // At the end of the input: the frames the decoder still holds back.
    [[nodiscard]] bool DecodeRemaining(const FrameSink& sink) { return Decode(nullptr, sink); }

   private:
    explicit MediaSource(JobInput input) : m_input(std::move(input)) {}
    SourceFailure OpenContainer(const std::string& path);
    static int ReadInput(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t SeekInput(void* opaque, std::int64_t offset, int whence);
    SourceFailure ChooseStream();
    SourceFailure OpenDecoder();
    bool Decode(const AVPacket* packet, const FrameSink& sink);

    std::optional<JobInput> m_input;
    ffmpeg::IoContextPtr m_io;  // outlives the container that reads through it
    ffmpeg::FormatContextPtr m_container;
    ffmpeg::CodecContextPtr m_decoder;
    ffmpeg::FramePtr m_frame;
    ffmpeg::PacketPtr m_packet;
    int m_stream_index = -1;
    std::int64_t m_file_size = 0;
};

}  // namespace nb::external::audio
