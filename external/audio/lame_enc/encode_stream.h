// One encoding stream: a configured libmp3lame encoder, the chunk and buffer
// sizes it promises its caller, and the sample left over from an odd chunk.
#pragma once

#include <lame/lame.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "external/audio/lame_enc/lame_enc.h"

namespace nb::lame_enc {

class EncodeStream {
   public:
    // PCM frames (one sample per channel) of one chunk: one MPEG-1 frame's worth.
    static constexpr std::uint32_t kFramesPerChunk = 1152;
    // Room for the MP3 data of one chunk in the worst case libmp3lame names
    // (1.25 bytes a frame plus 7200), which also holds a flush.
    static constexpr std::uint32_t kMp3BufferBytes = kFramesPerChunk * 5 / 4 + 7200;

    struct Created {
        LameEncStatus status;
        std::unique_ptr<EncodeStream> stream;  // set when status is LAME_ENC_OK
    };
    static Created Create(const LameEncConfig& config);

    std::uint32_t SamplesPerChunk() const { return kFramesPerChunk * m_channels; }

    // Encodes interleaved samples into mp3, which holds kMp3BufferBytes;
    // mp3_bytes receives how many bytes came out. LAME_ENC_BAD_STREAM after
    // the flush or for more than a chunk, LAME_ENC_ENCODER_FAILED when the
    // encoder refuses.
    [[nodiscard]] LameEncStatus Encode(std::span<const std::int16_t> pcm, std::uint8_t* mp3,
                                       std::uint32_t& mp3_bytes);
    // Encodes what the encoder still holds; once.
    [[nodiscard]] LameEncStatus Flush(std::uint8_t* mp3, std::uint32_t& mp3_bytes);

    // The finished info tag frame into tag (after the flush, with the tag
    // asked for): its size, or 0 when there is none or it does not fit.
    std::size_t CopyTagFrame(std::span<std::uint8_t> tag) const;

   private:
    struct EncoderCloser {
        void operator()(lame_t encoder) const { lame_close(encoder); }
    };
    using EncoderPtr = std::unique_ptr<lame_global_flags, EncoderCloser>;

    EncodeStream(EncoderPtr encoder, int channels)
        : m_encoder(std::move(encoder)), m_channels(static_cast<std::uint32_t>(channels)) {}

    // Encodes whole frames; the bytes written at mp3, or a negative code.
    int EncodeFrames(const std::int16_t* pcm, std::uint32_t frames, std::uint8_t* mp3, int room);

    EncoderPtr m_encoder;
    std::uint32_t m_channels;
    std::optional<std::int16_t> m_pending_sample;  // left half of a frame split between chunks
    bool m_flushed = false;
};

}  // namespace nb::lame_enc
