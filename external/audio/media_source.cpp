#include "external/audio/media_source.h"

#include <sys/stat.h>
#include <unistd.h>

namespace nb::external::audio {
namespace {

// A container that fails to read at the same position this many times in a
// row is given up; it would otherwise be retried for ever.
constexpr int kReadRetriesInPlace = 64;

// Anything but local files is refused, also when a playlist or a reference
// file names other locations.
constexpr const char* kFileProtocolOnly = "file";

struct Dictionary {
    ~Dictionary() { av_dict_free(&entries); }
    AVDictionary* entries = nullptr;
};

bool IsAtEnd(AVFormatContext& container, int read_result, std::int64_t file_size) {
    AVIOContext* io = container.pb;
    if (read_result == AVERROR_EOF || !io || io->error || avio_feof(io)) return true;
    return file_size > 0 && avio_tell(io) >= file_size;
}

}  // namespace

MediaSource::Opened MediaSource::Open(JobInput input, const std::string& path) {
    std::unique_ptr<MediaSource> source(new MediaSource(std::move(input)));
    SourceFailure failure = source->OpenContainer(path);
    if (failure == SourceFailure::None) failure = source->ChooseStream();
    if (failure == SourceFailure::None) failure = source->OpenDecoder();
    if (failure != SourceFailure::None) return Unexpected(failure);
    return source;
}

int MediaSource::ReadInput(void* opaque, std::uint8_t* buffer, int size) {
    auto& input = *static_cast<JobInput*>(opaque);
    const ReadResult read = input.ReadSome(buffer, static_cast<std::size_t>(size));
    if (read.failed) return input.Stopped() ? AVERROR_EXIT : AVERROR(EIO);
    return read.bytes == 0 ? AVERROR_EOF : static_cast<int>(read.bytes);
}

std::int64_t MediaSource::SeekInput(void* opaque, std::int64_t offset, int whence) {
    auto& input = *static_cast<JobInput*>(opaque);
    if (input.IsStream()) return -1;
    if (whence == AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(input.fd(), &info) == 0 ? info.st_size : -1;
    }
    return ::lseek(input.fd(), offset, whence & ~AVSEEK_FORCE);
}

SourceFailure MediaSource::OpenContainer(const std::string& path) {
    Dictionary options;
    av_dict_set(&options.entries, "protocol_whitelist", kFileProtocolOnly, 0);
    constexpr int kIoBufferBytes = 32768;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (!buffer) return SourceFailure::NotMedia;
    m_io.reset(avio_alloc_context(buffer, kIoBufferBytes, 0, &*m_input, &MediaSource::ReadInput,
                                  nullptr, &MediaSource::SeekInput));
    if (!m_io) {
        av_free(buffer);
        return SourceFailure::NotMedia;
    }
    m_io->seekable = m_input->IsStream() ? 0 : AVIO_SEEKABLE_NORMAL;
    AVFormatContext* container = avformat_alloc_context();
    if (!container) return SourceFailure::NotMedia;
    container->pb = m_io.get();
    container->flags |= AVFMT_FLAG_CUSTOM_IO;
    // The prefix keeps a name with a colon in it from being read as an
    // address; the name only hints at the container's kind.
    const std::string location = "file:" + path;
    // On failure the context is freed and the pointer cleared.
    if (avformat_open_input(&container, location.c_str(), nullptr, &options.entries) < 0)
        return SourceFailure::NotMedia;
    m_container.reset(container);
    if (avformat_find_stream_info(container, nullptr) < 0) return SourceFailure::NoStreamInfo;
    const std::int64_t size = container->pb ? avio_size(container->pb) : -1;
    m_file_size = size > 0 ? size : 0;
    return SourceFailure::None;
}

SourceFailure MediaSource::ChooseStream() {
    for (unsigned index = 0; index < m_container->nb_streams; ++index) {
        const AVStream* stream = m_container->streams[index];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            m_stream_index = static_cast<int>(index);
    }
    if (m_stream_index < 0) return SourceFailure::NoAudioStream;
    for (unsigned index = 0; index < m_container->nb_streams; ++index) {
        if (static_cast<int>(index) != m_stream_index)
            m_container->streams[index]->discard = AVDISCARD_ALL;
    }
    return SourceFailure::None;
}

SourceFailure MediaSource::OpenDecoder() {
    const AVStream* stream = m_container->streams[m_stream_index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return SourceFailure::NoDecoder;
    m_decoder.reset(avcodec_alloc_context3(codec));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_decoder || !m_frame || !m_packet ||
        avcodec_parameters_to_context(m_decoder.get(), stream->codecpar) < 0)
        return SourceFailure::DecoderNotOpened;
    m_decoder->pkt_timebase = stream->time_base;
    ffmpeg::ApplyForgivingDecoding(*m_decoder);
    if (avcodec_open2(m_decoder.get(), codec, nullptr) < 0) return SourceFailure::DecoderNotOpened;
    return SourceFailure::None;
}

bool MediaSource::ReadPacket() {
    av_packet_unref(m_packet.get());
    std::int64_t failed_at = -1;
    int failures_in_place = 0;
    for (;;) {
        const int result = av_read_frame(m_container.get(), m_packet.get());
        if (result >= 0) return true;
        if (IsAtEnd(*m_container, result, m_file_size)) return false;
        // Damage is skipped by reading on; only a reader stuck in one place
        // is given up.
        const std::int64_t position = avio_tell(m_container->pb);
        failures_in_place = position == failed_at ? failures_in_place + 1 : 1;
        if (failures_in_place >= kReadRetriesInPlace) return false;
        failed_at = position;
    }
}

bool MediaSource::Decode(const AVPacket* packet, const FrameSink& sink) {
    // A packet the decoder rejects is dropped whole; the frames it already
    // holds are still collected.
    avcodec_send_packet(m_decoder.get(), packet);
    for (;;) {
        const int result = avcodec_receive_frame(m_decoder.get(), m_frame.get());
        if (result < 0) return true;
        const bool accepted = m_frame->nb_samples <= 0 || sink(*m_frame);
        av_frame_unref(m_frame.get());
        if (!accepted) return false;
    }
}

}  // namespace nb::external::audio
