// Format 4010: the shaped blocks encoded by our HE-AAC v2 encoder, one
// access unit per block, into a 3GP file.
#include <algorithm>
#include <vector>

#include "external/audio/audio_specific_config.h"
#include "external/audio/make_ringtone_job.h"
#include "external/audio/three_gp_writer.h"
#include "heaac/he2_encoder.h"

namespace nb::external::audio {
namespace {

constexpr int kBitRate = 32000;
constexpr std::uint32_t kCoreChannels = 1;
constexpr std::size_t kBlockFrames = kRingtoneBlockSamples / 2;
static_assert(kBlockFrames == heaac::He2Encoder::kInputFrames);

class ThreeGpOutput final : public RingtoneOutput {
   public:
    ThreeGpOutput(std::unique_ptr<heaac::He2Encoder> encoder, std::unique_ptr<ThreeGpWriter> writer)
        : m_encoder(std::move(encoder)), m_writer(std::move(writer)) {
        m_input.reserve(kRingtoneBlockSamples);
    }

    // A short block is handed over as it is: the encoder completes it with
    // silence, never with samples of an earlier block.
    DWORD Write(std::span<const std::int16_t> block) override {
        m_input.assign(block.begin(), block.end());
        m_frames_in += block.size() / 2;
        return Encode();
    }

    // The encoder's delay holds the end of the cut back; silent blocks push
    // it out, so the file ends no earlier than the cut.
    DWORD Finish() override {
        const std::uint64_t needed_blocks =
            (m_frames_in + static_cast<std::uint64_t>(m_encoder->delay_frames()) + kBlockFrames -
             1) /
            kBlockFrames;
        m_input.assign(kRingtoneBlockSamples, 0.0f);
        while (m_blocks < needed_blocks)
            if (const DWORD encoded = Encode(); encoded != 0) return encoded;
        return FinishThreeGp(m_writer.get()) == kThreeGpOk ? 0 : DWORD{kRingtoneWriteFailed};
    }

   private:
    // A unit the writer refuses would leave a gap in the sound: that is a
    // failed write, not something to pass over.
    DWORD Encode() {
        const heaac::He2Encoder::Frame frame = m_encoder->encode(m_input);
        ++m_blocks;
        if (!frame.access_unit.empty() &&
            AddAccessUnit(m_writer.get(), frame.access_unit) != kThreeGpOk)
            return kRingtoneWriteFailed;
        return 0;
    }

    std::unique_ptr<heaac::He2Encoder> m_encoder;
    std::unique_ptr<ThreeGpWriter> m_writer;
    std::vector<float> m_input;
    std::uint64_t m_frames_in = 0;
    std::uint64_t m_blocks = 0;
};

}  // namespace

RingtoneOutputResult CreateThreeGpOutput(const std::string& path) {
    heaac::He2Encoder::CreateResult encoder = heaac::He2Encoder::create({kBitRate});
    if (!encoder.encoder) return Unexpected(DWORD{kRingtoneEncoderNotOpened});
    AudioSpecificConfig config;
    if (BuildAudioSpecificConfig(heaac::He2Encoder::kCoreRateHz, kCoreChannels, HeSignalling::On,
                                 RateGiven::Core, config) != 0 ||
        config.bytes != encoder.encoder->audio_specific_config())
        return Unexpected(DWORD{kRingtoneConfigFailed});
    ThreeGpSettings settings;
    settings.audio_specific_config = config.bytes;
    settings.output_path = path;
    settings.time_scale = heaac::He2Encoder::kInputRateHz;
    settings.bit_rate = kBitRate;
    settings.channels = kCoreChannels;
    settings.he = HeSignalling::On;
    ThreeGpWriter::CreateResult writer = ThreeGpWriter::Create(settings);
    if (!writer.writer) return Unexpected(DWORD{kRingtoneOutputNotCreated});
    return std::unique_ptr<RingtoneOutput>(
        std::make_unique<ThreeGpOutput>(std::move(encoder.encoder), std::move(writer.writer)));
}

}  // namespace nb::external::audio
