// Frame loop: feed each channel, pick one window sequence for all channels from the look-ahead,
// transform, decide mid/side per group and band for pairs (noise-substituted bands stay left
// and right), split the frame's bit budget, quantise, write the caller's extension payload
// if any, and pad with fill elements when the bit reservoir is full so the average rate stays
// on target.
#include "heaac/encoder.h"

#include <algorithm>
#include <cmath>

#include "heaac/bit_writer.h"
#include "heaac/channel_encoder.h"
#include "heaac/ics_writer.h"
#include "heaac/quantizer.h"

namespace heaac {
namespace {

constexpr int kDecoderBufferBitsPerChannel = 6144;
constexpr int kMinBitrateBpsPerChannel = 8000;
constexpr int kMaxBitrateBpsPerChannel = 320000;

// Coded bandwidth grows with the bits each channel gets; above it nothing is sent. Noise
// substitution makes the noise-like bands high up cheap, so even 12 kbit/s per channel
// reach 8.6 kHz.
int max_sfb_for_bandwidth(const BandLayout& layout, int rate_hz, int bitrate_bps_per_channel) {
    const double bandwidth_hz = std::min(0.5 * rate_hz, 5000.0 + 0.3 * bitrate_bps_per_channel);
    const double limit_line = bandwidth_hz * 2.0 * kLongWindowLines / rate_hz;
    int bands = 0;
    while (bands + 1 < static_cast<int>(layout.long_offsets.size()) &&
           layout.long_offsets[static_cast<std::size_t>(bands) + 1] <= limit_line) {
        ++bands;
    }
    return std::max(bands, 1);
}

// Bands whose lines all lie below `frequency_hz` (line k starts at k * rate / 2048 Hz).
int max_sfb_below_frequency(const BandLayout& layout, int rate_hz, int frequency_hz) {
    const std::int64_t limit_line = static_cast<std::int64_t>(std::min(frequency_hz, rate_hz / 2)) *
                                    2 * kLongWindowLines / rate_hz;
    int bands = 0;
    while (bands + 1 < static_cast<int>(layout.long_offsets.size()) &&
           layout.long_offsets[static_cast<std::size_t>(bands) + 1] <= limit_line) {
        ++bands;
    }
    return std::max(bands, 1);
}

// Turns one band into mid and side in place when that pays: when the product of the two
// energies drops, the usual sign of correlated channels. Returns whether it did.
std::uint8_t apply_mid_side_to_band(ChannelEncoder& left, ChannelEncoder& right, int start,
                                    int length, std::size_t slot) {
    auto l = left.coefficients();
    auto r = right.coefficients();
    double energy_l = 0.0, energy_r = 0.0, energy_m = 0.0, energy_s = 0.0;
    for (int i = start; i < start + length; ++i) {
        const double a = l[static_cast<std::size_t>(i)];
        const double c = r[static_cast<std::size_t>(i)];
        energy_l += a * a;
        energy_r += c * c;
        energy_m += 0.25 * (a + c) * (a + c);
        energy_s += 0.25 * (a - c) * (a - c);
    }
    if (energy_m * energy_s >= 0.5 * energy_l * energy_r) return 0;
    for (int i = start; i < start + length; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const float mid = 0.5F * (l[k] + r[k]);
        const float side = 0.5F * (l[k] - r[k]);
        l[k] = mid;
        r[k] = side;
    }
    // Noise in mid or side lands in both outputs, so both take the stricter threshold.
    const float noise = std::min(left.allowed_noise()[slot], right.allowed_noise()[slot]);
    left.allowed_noise()[slot] = noise;
    right.allowed_noise()[slot] = noise;
    return 1;
}

// Turns the bands where mid/side coding pays into mid and side in place.
std::array<std::uint8_t, kMaxGroups * kMaxBands> apply_mid_side(ChannelEncoder& left,
                                                                ChannelEncoder& right,
                                                                const ChannelFrame& frame) {
    std::array<std::uint8_t, kMaxGroups * kMaxBands> ms_used{};
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb; ++b) {
            const auto slot = static_cast<std::size_t>(g * kMaxBands + b);
            // A band goes as noise in a pair only when it is noise-like in both channels; the
            // two noises are then independent, so the band stays left and right.
            auto& noise_left = left.noise_bands()[slot];
            auto& noise_right = right.noise_bands()[slot];
            if (noise_left == kNoiseBand && noise_right == kNoiseBand) continue;
            noise_left = std::min(noise_left, kNoiseWhereSilent);
            noise_right = std::min(noise_right, kNoiseWhereSilent);
            ms_used[slot] = apply_mid_side_to_band(left, right, frame.band_start(g, b),
                                                   frame.band_length(g, b), slot);
            if (ms_used[slot] != 0) {
                noise_left = 0;
                noise_right = 0;
            }
        }
    }
    return ms_used;
}

// Sum over the coded groups and bands of the log energy-to-noise ratio: how many bits the
// channel's frame asks for, relative to another channel's.
double perceptual_demand(const ChannelEncoder& channel, const ChannelFrame& frame) {
    double demand = 1.0;
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb; ++b) {
            const auto s = static_cast<std::size_t>(g * kMaxBands + b);
            demand += std::max(0.0, std::log2((channel.band_energy()[s] + 1.0) /
                                              (channel.allowed_noise()[s] + 1.0)));
        }
    }
    return demand;
}

}  // namespace

Encoder::CreateResult Encoder::create(const EncoderConfig& config) {
    const auto layout = band_layout_for_rate(config.rate_hz);
    if (!layout) return {nullptr, "unsupported sample rate " + std::to_string(config.rate_hz)};
    if (config.channels != 1 && config.channels != 2) {
        return {nullptr, "unsupported channel count " + std::to_string(config.channels)};
    }
    if (config.bandwidth_hz < 0)
        return {nullptr, "negative bandwidth " + std::to_string(config.bandwidth_hz)};
    const int per_channel = config.bitrate_bps / config.channels;
    // A frame may not outgrow the decoder's buffer of 6144 bits per channel, so the mean frame
    // stays at 5/6 of it (5 bits per sample), which leaves the reservoir room to work.
    const std::int64_t buffer_limited_bps =
        static_cast<std::int64_t>(kDecoderBufferBitsPerChannel) * config.rate_hz / kFrameSamples;
    if (per_channel < kMinBitrateBpsPerChannel || per_channel > kMaxBitrateBpsPerChannel ||
        6 * static_cast<std::int64_t>(per_channel) > 5 * buffer_limited_bps) {
        return {nullptr, "bit rate out of range: " + std::to_string(config.bitrate_bps)};
    }
    return {std::unique_ptr<Encoder>(new Encoder(config, layout->sampling_frequency_index)), {}};
}

Encoder::Encoder(const EncoderConfig& config, int sampling_frequency_index)
    : m_config(config),
      m_sampling_frequency_index(sampling_frequency_index),
      m_mean_frame_bits(static_cast<int>(static_cast<std::int64_t>(config.bitrate_bps) *
                                         kFrameSamples / config.rate_hz)),
      m_max_reservoir_bits(kDecoderBufferBitsPerChannel * config.channels - m_mean_frame_bits) {
    const auto layout = *band_layout_for_rate(config.rate_hz);
    const int max_sfb =
        config.bandwidth_hz > 0
            ? max_sfb_below_frequency(layout, config.rate_hz, config.bandwidth_hz)
            : max_sfb_for_bandwidth(layout, config.rate_hz, config.bitrate_bps / config.channels);
    for (int c = 0; c < config.channels; ++c) {
        m_channels.push_back(std::make_unique<ChannelEncoder>(layout, config.rate_hz, max_sfb));
    }
}

Encoder::~Encoder() = default;

std::vector<std::uint8_t> Encoder::encode_frame(std::span<const std::int16_t> interleaved,
                                                std::span<const std::uint8_t> fill_payload) {
    m_float_samples.assign(interleaved.begin(), interleaved.end());
    return encode_frame(std::span<const float>(m_float_samples), fill_payload);
}

std::vector<std::uint8_t> Encoder::encode_frame(std::span<const float> interleaved,
                                                std::span<const std::uint8_t> fill_payload) {
    const int channels = m_config.channels;
    if (fill_payload.size() > static_cast<std::size_t>(kMaxFillPayloadBytes)) fill_payload = {};
    const int payload_bits = fill_payload_bits(fill_payload.size());
    // Both channels of a pair share one window sequence, so an attack in either switches both.
    int attack_window = -1;
    for (int c = 0; c < channels; ++c) {
        const int channel_attack =
            m_channels[static_cast<std::size_t>(c)]->push_samples(interleaved, channels, c);
        if (channel_attack >= 0)
            attack_window =
                attack_window < 0 ? channel_attack : std::min(attack_window, channel_attack);
    }
    const WindowDecision decision = m_window_sequencer.next(attack_window);
    for (auto& channel : m_channels) channel->transform(decision);
    // Spend up to a quarter of the saved bits; never exceed what the decoder buffer holds.
    const int frame_budget = m_mean_frame_bits + std::max(m_reservoir_bits, 0) / 4 - payload_bits;
    BitWriter writer;
    if (channels == 1) {
        auto& channel = *m_channels[0];
        ChannelFrame frame = channel.frame_template();
        const int budget = frame_budget - kElementHeaderBits - kEndBits - 7;
        channel.set_rate_offset(quantize_channel(frame, channel.coefficients(),
                                                 channel.allowed_noise(), budget, false,
                                                 channel.rate_offset(), channel.noise_bands())
                                    .offset);
        write_single_channel_element(writer, frame);
    } else {
        auto& left = *m_channels[0];
        auto& right = *m_channels[1];
        ChannelFrame left_frame = left.frame_template();
        ChannelFrame right_frame = right.frame_template();
        const auto ms_used = apply_mid_side(left, right, left_frame);
        const int budget =
            frame_budget - channel_pair_overhead_bits(left_frame, ms_used) - kEndBits - 7;
        // Split by perceptual demand.
        const double demand_left = perceptual_demand(left, left_frame);
        const double demand_right = perceptual_demand(right, right_frame);
        const int left_budget =
            static_cast<int>(budget * demand_left / (demand_left + demand_right));
        const auto left_result =
            quantize_channel(left_frame, left.coefficients(), left.allowed_noise(), left_budget,
                             true, left.rate_offset(), left.noise_bands());
        left.set_rate_offset(left_result.offset);
        right.set_rate_offset(quantize_channel(right_frame, right.coefficients(),
                                               right.allowed_noise(), budget - left_result.bits,
                                               true, right.rate_offset(), right.noise_bands())
                                  .offset);
        write_channel_pair_element(writer, left_frame, right_frame, ms_used);
    }
    write_fill_payload(writer, fill_payload);
    int used_bits = static_cast<int>(writer.bit_count()) + kEndBits;
    const int surplus_bits =
        m_reservoir_bits + m_mean_frame_bits - used_bits - m_max_reservoir_bits;
    if (surplus_bits > 8) {
        write_fill_bytes(writer, surplus_bits / 8);
    }
    write_end_and_align(writer);
    used_bits = static_cast<int>(writer.bit_count());
    m_reservoir_bits =
        std::min(m_reservoir_bits + m_mean_frame_bits - used_bits, m_max_reservoir_bits);
    return writer.bytes();
}

std::vector<std::uint8_t> Encoder::to_adts(std::span<const std::uint8_t> access_unit) const {
    const auto header = adts_header(m_sampling_frequency_index, m_config.channels,
                                    static_cast<int>(access_unit.size()));
    std::vector<std::uint8_t> frame(header.size() + access_unit.size());
    std::copy(header.begin(), header.end(), frame.begin());
    std::copy(access_unit.begin(), access_unit.end(),
              frame.begin() + static_cast<std::ptrdiff_t>(header.size()));
    return frame;
}

std::vector<std::uint8_t> Encoder::audio_specific_config() const {
    return heaac::audio_specific_config(m_sampling_frequency_index, m_config.channels);
}

}  // namespace heaac
