// The exported calls: handle checks and the translation of the stream's
// results into the interface's status codes. Nothing here throws.
#include "external/audio/lame_enc/lame_enc.h"

#include <array>
#include <cstdio>
#include <new>
#include <span>

#include "external/audio/lame_enc/encode_stream.h"
#include "external/audio/lame_enc/info_tag_writer.h"

// The object behind a handle. The mark lets a call tell a live stream from a
// stray or freed pointer in the common cases.
struct LameEncStream {
    static constexpr std::uint32_t kLiveMark = 0x4C45534D;
    std::uint32_t mark = kLiveMark;
    std::unique_ptr<nb::lame_enc::EncodeStream> stream;
};

namespace {

constexpr std::uint32_t kInterfaceMajor = 1;
constexpr std::uint32_t kInterfaceMinor = 0;

// The largest first frame of any layer III stream (320 kbit/s at 32 kHz is
// 1441 bytes) fits.
constexpr std::size_t kMaxTagFrameBytes = 2048;

// The tag of the stream a thread closed last, kept for beWriteVBRHeader,
// which names only the file. Per thread, so that encoders on several
// threads keep their own; trivially destructible, so the library can be
// unloaded while threads still run.
struct KeptTag {
    std::array<std::uint8_t, kMaxTagFrameBytes> frame;
    std::size_t size;
};
thread_local KeptTag t_kept_tag{};

nb::lame_enc::EncodeStream* LiveStream(LameEncStream* handle) {
    if (!handle || handle->mark != LameEncStream::kLiveMark) return nullptr;
    return handle->stream.get();
}

void Free(LameEncStream* handle) {
    handle->mark = 0;
    delete handle;
}

LameEncStatus WriteTag(std::span<const std::uint8_t> frame, const char* file_name) {
    if (frame.empty()) return LAME_ENC_TAG_FAILED;
    return nb::lame_enc::WriteInfoTagFrame(file_name, frame) ? LAME_ENC_OK : LAME_ENC_TAG_FAILED;
}

}  // namespace

extern "C" {

LAME_ENC_API LameEncStatus beInitStream(const LameEncConfig* config,
                                        std::uint32_t* samples_per_chunk,
                                        std::uint32_t* mp3_buffer_bytes, LameEncStream** stream) {
    if (!config || !samples_per_chunk || !mp3_buffer_bytes || !stream) return LAME_ENC_BAD_STREAM;
    *stream = nullptr;
    nb::lame_enc::EncodeStream::Created created = nb::lame_enc::EncodeStream::Create(*config);
    if (created.status != LAME_ENC_OK) return created.status;
    auto* handle = new (std::nothrow) LameEncStream;
    if (!handle) return LAME_ENC_NO_MEMORY;
    handle->stream = std::move(created.stream);
    *samples_per_chunk = handle->stream->SamplesPerChunk();
    *mp3_buffer_bytes = nb::lame_enc::EncodeStream::kMp3BufferBytes;
    *stream = handle;
    return LAME_ENC_OK;
}

LAME_ENC_API LameEncStatus beEncodeChunk(LameEncStream* stream, std::uint32_t sample_count,
                                         const std::int16_t* pcm, std::uint8_t* mp3,
                                         std::uint32_t* mp3_bytes) {
    nb::lame_enc::EncodeStream* live = LiveStream(stream);
    if (!live || !mp3 || !mp3_bytes || (!pcm && sample_count)) return LAME_ENC_BAD_STREAM;
    return live->Encode(std::span(pcm, sample_count), mp3, *mp3_bytes);
}

LAME_ENC_API LameEncStatus beDeinitStream(LameEncStream* stream, std::uint8_t* mp3,
                                          std::uint32_t* mp3_bytes) {
    nb::lame_enc::EncodeStream* live = LiveStream(stream);
    if (!live || !mp3 || !mp3_bytes) return LAME_ENC_BAD_STREAM;
    return live->Flush(mp3, *mp3_bytes);
}

LAME_ENC_API LameEncStatus beCloseStream(LameEncStream* stream) {
    nb::lame_enc::EncodeStream* live = LiveStream(stream);
    if (!live) return LAME_ENC_BAD_STREAM;
    t_kept_tag.size = live->CopyTagFrame(t_kept_tag.frame);
    Free(stream);
    return LAME_ENC_OK;
}

LAME_ENC_API LameEncStatus beWriteVBRHeader(const char* file_name) {
    return WriteTag(std::span(t_kept_tag.frame.data(), t_kept_tag.size), file_name);
}

LAME_ENC_API LameEncStatus beWriteInfoTag(LameEncStream* stream, const char* file_name) {
    nb::lame_enc::EncodeStream* live = LiveStream(stream);
    if (!live) return LAME_ENC_BAD_STREAM;
    std::array<std::uint8_t, kMaxTagFrameBytes> frame{};
    const std::size_t size = live->CopyTagFrame(frame);
    Free(stream);
    return WriteTag(std::span(frame.data(), size), file_name);
}

LAME_ENC_API LameEncStatus beVersion(LameEncVersion* version) {
    if (!version) return LAME_ENC_BAD_STREAM;
    lame_version_t encoder{};
    get_lame_version_numerical(&encoder);
    *version = LameEncVersion{};
    version->interface_major = kInterfaceMajor;
    version->interface_minor = kInterfaceMinor;
    version->encoder_major = static_cast<std::uint32_t>(encoder.major);
    version->encoder_minor = static_cast<std::uint32_t>(encoder.minor);
    std::snprintf(version->encoder_text, sizeof version->encoder_text, "%s", get_lame_version());
    return LAME_ENC_OK;
}

}  // extern "C"
