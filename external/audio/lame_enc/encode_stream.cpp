#include "external/audio/lame_enc/encode_stream.h"

#include <cstdarg>
#include <new>

#include "external/audio/lame_enc/encoder_settings.h"

namespace nb::lame_enc {
namespace {

// libmp3lame prints warnings and statistics on standard error unless told
// otherwise; a library has no business writing into its host's output.
void DiscardReport(const char*, va_list) {}

void SilenceReports(lame_t encoder) {
    lame_set_errorf(encoder, &DiscardReport);
    lame_set_debugf(encoder, &DiscardReport);
    lame_set_msgf(encoder, &DiscardReport);
}

}  // namespace

EncodeStream::Created EncodeStream::Create(const LameEncConfig& config) {
    if (const LameEncStatus checked = CheckRecord(config); checked != LAME_ENC_OK)
        return {checked, nullptr};
    EncoderPtr encoder(lame_init());
    if (!encoder) return {LAME_ENC_NO_MEMORY, nullptr};
    SilenceReports(encoder.get());
    if (const LameEncStatus applied = ApplySettings(config, encoder.get()); applied != LAME_ENC_OK)
        return {applied, nullptr};
    std::unique_ptr<EncodeStream> stream(
        new (std::nothrow) EncodeStream(std::move(encoder), InputChannels(config)));
    if (!stream) return {LAME_ENC_NO_MEMORY, nullptr};
    return {LAME_ENC_OK, std::move(stream)};
}

int EncodeStream::EncodeFrames(const std::int16_t* pcm, std::uint32_t frames, std::uint8_t* mp3,
                               int room) {
    if (frames == 0) return 0;
    const int count = static_cast<int>(frames);
    if (m_channels == 1) return lame_encode_buffer(m_encoder.get(), pcm, pcm, count, mp3, room);
    // The interleaved call takes a non-const pointer but only reads the samples.
    return lame_encode_buffer_interleaved(m_encoder.get(), const_cast<std::int16_t*>(pcm), count,
                                          mp3, room);
}

LameEncStatus EncodeStream::Encode(std::span<const std::int16_t> pcm, std::uint8_t* mp3,
                                   std::uint32_t& mp3_bytes) {
    mp3_bytes = 0;
    if (m_flushed || pcm.size() > SamplesPerChunk()) return LAME_ENC_BAD_STREAM;
    int written = 0;
    if (m_pending_sample && !pcm.empty()) {
        const std::int16_t frame[2] = {*m_pending_sample, pcm.front()};
        written = EncodeFrames(frame, 1, mp3, static_cast<int>(kMp3BufferBytes));
        if (written < 0) return LAME_ENC_ENCODER_FAILED;
        m_pending_sample.reset();
        pcm = pcm.subspan(1);
    }
    const auto frames = static_cast<std::uint32_t>(pcm.size() / m_channels);
    const int more = EncodeFrames(pcm.data(), frames, mp3 + written,
                                  static_cast<int>(kMp3BufferBytes) - written);
    if (more < 0) return LAME_ENC_ENCODER_FAILED;
    if (pcm.size() % m_channels) m_pending_sample = pcm.back();
    mp3_bytes = static_cast<std::uint32_t>(written + more);
    return LAME_ENC_OK;
}

LameEncStatus EncodeStream::Flush(std::uint8_t* mp3, std::uint32_t& mp3_bytes) {
    mp3_bytes = 0;
    if (m_flushed) return LAME_ENC_BAD_STREAM;
    m_flushed = true;
    // A half frame left at the end has no partner; it is dropped.
    const int written = lame_encode_flush(m_encoder.get(), mp3, static_cast<int>(kMp3BufferBytes));
    if (written < 0) return LAME_ENC_ENCODER_FAILED;
    mp3_bytes = static_cast<std::uint32_t>(written);
    return LAME_ENC_OK;
}

std::size_t EncodeStream::CopyTagFrame(std::span<std::uint8_t> tag) const {
    if (!m_flushed) return 0;
    const std::size_t size = lame_get_lametag_frame(m_encoder.get(), tag.data(), tag.size());
    return size <= tag.size() ? size : 0;
}

}  // namespace nb::lame_enc
