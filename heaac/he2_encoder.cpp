// Per access unit: 2048 stereo frames in; both channels through the 64-band analysis; the
// stereo parameters and the SBR data of the downmix from those subband samples; the downmix
// halved in rate and coded by the AAC-LC core, which carries the SBR payload in a fill element.
//
// Alignment (measured with FFmpeg's and faad's decoders, checked by he2_decode_test): the
// decoder applies frame n's SBR data to output 103 slots of 64 samples after the input that
// frame n's core block began with: the core's two frames, the resampler's one slot, and one
// more frame plus six slots of the decoder's own SBR delay. The analysis therefore runs that
// far behind the input. Stereo parameters are reached at the end of their frame (the decoder
// interpolates towards them across it), so their window sits 12 slots later.
#include "heaac/he2_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "heaac/bit_writer.h"
#include "heaac/encoder.h"
#include "heaac/ps_encoder.h"
#include "heaac/ps_hybrid.h"
#include "heaac/sbr_downsampler.h"
#include "heaac/sbr_encoder.h"
#include "heaac/sbr_qmf.h"

namespace heaac {
namespace {

constexpr int kCoreFrames = Encoder::kFrameSamples;
constexpr int kSlotsPerFrame = kSbrFrameSlots;
constexpr int kDecoderSbrDelaySlots = kSlotsPerFrame + 6;
constexpr int kSbrLagSlots =
    2 * kSlotsPerFrame + Downsampler::kDelayInputSamples / kQmfBands + kDecoderSbrDelaySlots;
constexpr int kPsLagSlots = kSbrLagSlots - 12;
// Slots kept behind the newest.
constexpr int kHistorySlots = std::max(kSbrLagSlots, kPsLagSlots + kHybridMarginSlots);
// The downmix gain makes up for what adding the channels loses: +3 dB for one channel alone.
// More would restore cancelling (opposite-phase) content too, but the gain is one for the
// whole band, and where the channels did not cancel it would overshoot.
constexpr float kMaxDownmixGain = 1.41421356F;
// Input beyond the 16-bit range is clipped to it, as a converter would; not-a-number is silence.
constexpr float kInputMin = -32768.0F;
constexpr float kInputMax = 32767.0F;
// Decoded output lags the input by the core's two frames (4096 at 44100 Hz), the resampler's
// 64 and 962 of the decoder's own (its analysis and synthesis banks and the stereo hybrid
// filter): measured end to end with FFmpeg's decoder, checked by he2_decode_test. (faad
// leaves out the first 2048 frames of its output, so there the lag is 3074.)
constexpr int kDecoderDelayFrames = 5122;

struct Tuning {
    int bitrate_bps;
    int start_freq;
    int stop_freq;
};
// Crossover and top of the replicated band by bit rate: more bits buy a wider core band.
constexpr std::array<Tuning, 5> kTunings = {{
    {24000, 5, 8},    // 4823 to 14814 Hz
    {28000, 6, 8},    // 5168 to 14814 Hz
    {32000, 8, 10},   // 5857 to 17571 Hz
    {40000, 9, 10},   // 6202 to 17571 Hz
    {48000, 10, 10},  // 6546 to 17571 Hz
}};

const Tuning& tuning_for(int bitrate_bps) {
    const Tuning* best = &kTunings[0];
    for (const auto& t : kTunings) {
        if (t.bitrate_bps <= bitrate_bps) best = &t;
    }
    return *best;
}

float sanitize(float v) { return std::isnan(v) ? 0.0F : std::clamp(v, kInputMin, kInputMax); }

}  // namespace

struct He2Encoder::State {
    std::unique_ptr<Encoder> core;
    std::unique_ptr<SbrEncoder> sbr;
    PsEncoder ps;
    QmfAnalysis qmf_left;
    QmfAnalysis qmf_right;
    Downsampler downsampler;
    // Subband history, oldest first; the newest slot is the last.
    std::vector<QmfSlot> left_slots;
    std::vector<QmfSlot> right_slots;
    std::vector<QmfSlot> mono_slots;
    std::vector<EnergySlot> energy_slots;
    float downmix_gain = 1.0F;
    std::vector<float> left;
    std::vector<float> right;
    std::vector<float> mono;
    std::vector<float> core_input;
};

He2Encoder::He2Encoder() : m_state(std::make_unique<State>()) {}
He2Encoder::~He2Encoder() = default;

He2Encoder::CreateResult He2Encoder::create(const He2Config& config) {
    if (config.bitrate_bps < 24000 || config.bitrate_bps > 48000) {
        return {nullptr,
                "bit rate out of range (24000 to 48000): " + std::to_string(config.bitrate_bps)};
    }
    const auto& tuning = tuning_for(config.bitrate_bps);
    SbrTuning sbr_tuning;
    sbr_tuning.header.bands.start_freq = tuning.start_freq;
    sbr_tuning.header.bands.stop_freq = tuning.stop_freq;
    auto sbr = SbrEncoder::create(sbr_tuning);
    if (!sbr) return {nullptr, "no SBR band table for this bit rate"};
    EncoderConfig core_config;
    core_config.rate_hz = kCoreRateHz;
    core_config.channels = 1;
    core_config.bitrate_bps = config.bitrate_bps;
    // One subband past the crossover, so the core's last scale factor band reaches it; the
    // decoder takes nothing above the crossover from the core.
    core_config.bandwidth_hz = sbr->crossover_hz() + kInputRateHz / (2 * kQmfBands);
    auto core = Encoder::create(core_config);
    if (!core.encoder) return {nullptr, core.error};

    std::unique_ptr<He2Encoder> encoder(new He2Encoder());
    auto& s = *encoder->m_state;
    s.core = std::move(core.encoder);
    s.sbr = std::move(sbr);
    s.left_slots.assign(kHistorySlots, QmfSlot{});
    s.right_slots.assign(kHistorySlots, QmfSlot{});
    s.mono_slots.assign(kHistorySlots, QmfSlot{});
    s.energy_slots.assign(kHistorySlots, EnergySlot{});
    s.left.resize(kInputFrames);
    s.right.resize(kInputFrames);
    s.mono.resize(kInputFrames);
    s.core_input.resize(kCoreFrames);
    return {std::move(encoder), {}};
}

He2Encoder::Frame He2Encoder::encode(std::span<const float> interleaved) {
    auto& s = *m_state;
    const std::size_t frames = std::min<std::size_t>(interleaved.size() / 2, kInputFrames);
    for (std::size_t i = 0; i < static_cast<std::size_t>(kInputFrames); ++i) {
        s.left[i] = i < frames ? sanitize(interleaved[2 * i]) : 0.0F;
        s.right[i] = i < frames ? sanitize(interleaved[2 * i + 1]) : 0.0F;
    }

    // Analysis of both channels; the downmix's energy per subband is the mean of the two, the
    // level the stereo decoder splits back into left and right.
    const int kx = s.sbr->bands().kx;
    double core_band_sum = 0.0, core_band_mid = 0.0;
    for (int slot = 0; slot < kSlotsPerFrame; ++slot) {
        QmfSlot l{}, r{}, m{};
        EnergySlot e{};
        const auto offset = static_cast<std::size_t>(slot * kQmfBands);
        s.qmf_left.process(std::span<const float, kQmfBands>(s.left.data() + offset, kQmfBands), l);
        s.qmf_right.process(std::span<const float, kQmfBands>(s.right.data() + offset, kQmfBands),
                            r);
        for (int k = 0; k < kQmfBands; ++k) {
            const auto kk = static_cast<std::size_t>(k);
            const float energy = 0.5F * (std::norm(l[kk]) + std::norm(r[kk]));
            const auto mid = 0.5F * (l[kk] + r[kk]);
            const float mid_energy = std::norm(mid);
            e[kk] = energy;
            m[kk] = mid_energy > 1e-12F ? mid * std::sqrt(energy / mid_energy) : mid;
            if (k < kx) {
                core_band_sum += energy;
                core_band_mid += mid_energy;
            }
        }
        s.left_slots.push_back(l);
        s.right_slots.push_back(r);
        s.mono_slots.push_back(m);
        s.energy_slots.push_back(e);
    }
    const auto trim = [](auto& slots) { slots.erase(slots.begin(), slots.end() - kHistorySlots); };
    trim(s.left_slots);
    trim(s.right_slots);
    trim(s.mono_slots);
    trim(s.energy_slots);

    // Time-domain downmix for the core, its gain ramped from the last block's.
    const float target_gain =
        core_band_mid > 1e-6
            ? std::clamp(static_cast<float>(std::sqrt(core_band_sum / core_band_mid)), 1.0F,
                         kMaxDownmixGain)
            : 1.0F;
    for (int i = 0; i < kInputFrames; ++i) {
        const float gain = s.downmix_gain + (target_gain - s.downmix_gain) *
                                                static_cast<float>(i + 1) / kInputFrames;
        s.mono[static_cast<std::size_t>(i)] =
            0.5F * gain *
            (s.left[static_cast<std::size_t>(i)] + s.right[static_cast<std::size_t>(i)]);
    }
    s.downmix_gain = target_gain;
    s.downsampler.process(s.mono, s.core_input);

    const auto newest = static_cast<std::size_t>(kHistorySlots);  // one past the newest slot
    const std::size_t sbr_first = newest - kSbrLagSlots;
    const std::size_t ps_first = newest - kPsLagSlots - kHybridMarginSlots;
    const std::size_t ps_count = kSlotsPerFrame + 2 * kHybridMarginSlots;
    const auto ps_bits =
        s.ps.encode_frame(std::span<const QmfSlot>(s.left_slots).subspan(ps_first, ps_count),
                          std::span<const QmfSlot>(s.right_slots).subspan(ps_first, ps_count));
    const std::size_t sbr_count = kSlotsPerFrame + SbrEncoder::kLookaheadSlots;
    auto payload = s.sbr->encode_frame(
        std::span<const EnergySlot>(s.energy_slots).subspan(sbr_first, sbr_count),
        std::span<const QmfSlot>(s.mono_slots).subspan(sbr_first, sbr_count), ps_bits);
    if (payload.size() > static_cast<std::size_t>(Encoder::kMaxFillPayloadBytes)) payload.clear();

    Frame frame;
    frame.access_unit = s.core->encode_frame(std::span<const float>(s.core_input), payload);
    frame.ancillary_bytes = static_cast<int>(payload.size());
    return frame;
}

int He2Encoder::delay_frames() const { return kDecoderDelayFrames; }

std::vector<std::uint8_t> He2Encoder::audio_specific_config() const {
    constexpr std::uint32_t kObjectTypeSbr = 5;
    constexpr std::uint32_t kObjectTypeAacLc = 2;
    constexpr std::uint32_t kRateIndex22050 = 7;
    constexpr std::uint32_t kRateIndex44100 = 4;
    BitWriter writer;
    writer.write(kObjectTypeSbr, 5);
    writer.write(kRateIndex22050, 4);
    writer.write(1, 4);  // channel configuration: one channel
    writer.write(kRateIndex44100, 4);
    writer.write(kObjectTypeAacLc, 5);
    writer.write(0, 3);  // GASpecificConfig: 1024-sample frames, no core coder, no extension
    writer.align_to_byte();
    return writer.bytes();
}

std::vector<std::uint8_t> He2Encoder::to_adts(std::span<const std::uint8_t> access_unit) const {
    return m_state->core->to_adts(access_unit);
}

}  // namespace heaac
