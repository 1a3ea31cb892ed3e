#include "heaac/ics_writer.h"

#include <algorithm>

#include "heaac/section_coder.h"
#include "heaac/spectrum_huffman.h"

namespace heaac {
namespace {

constexpr std::uint32_t kIdSingleChannel = 0;
constexpr std::uint32_t kIdChannelPair = 1;
constexpr std::uint32_t kIdFill = 6;
constexpr std::uint32_t kIdEnd = 7;
constexpr int kAacLcObjectType = 2;

int codebook_at(const ChannelFrame& frame, int group, int band) {
    return frame.codebook[static_cast<std::size_t>(group * kMaxBands + band)];
}

int ics_info_bits(const ChannelFrame& frame) { return frame.is_short() ? 15 : 11; }

void write_ics_info(BitWriter& writer, const ChannelFrame& frame) {
    writer.write(0, 1);  // ics_reserved_bit
    writer.write(static_cast<std::uint32_t>(frame.sequence), 2);
    writer.write(static_cast<std::uint32_t>(frame.shape), 1);
    if (frame.is_short()) {
        writer.write(static_cast<std::uint32_t>(frame.max_sfb), 4);
        // scale_factor_grouping: bit set when a window joins the group of the one before.
        std::uint32_t grouping = 0;
        int window = 0;
        for (int g = 0; g < frame.group_count; ++g) {
            for (int w = 0; w < frame.group_length[static_cast<std::size_t>(g)]; ++w, ++window) {
                if (window > 0) grouping = (grouping << 1) | (w > 0 ? 1U : 0U);
            }
        }
        writer.write(grouping, 7);
    } else {
        writer.write(static_cast<std::uint32_t>(frame.max_sfb), 6);
        writer.write(0, 1);  // predictor_data_present
    }
}

void write_section_data(BitWriter& writer, const ChannelFrame& frame) {
    const int field_bits = frame.is_short() ? 3 : 5;
    const int escape = (1 << field_bits) - 1;
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb;) {
            const int cb = codebook_at(frame, g, b);
            int end = b + 1;
            while (end < frame.max_sfb && codebook_at(frame, g, end) == cb) ++end;
            writer.write(static_cast<std::uint32_t>(cb), 4);
            int remaining = end - b;
            for (; remaining >= escape; remaining -= escape)
                writer.write(static_cast<std::uint32_t>(escape), field_bits);
            writer.write(static_cast<std::uint32_t>(remaining), field_bits);
            b = end;
        }
    }
}

int global_gain(const ChannelFrame& frame) {
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb; ++b) {
            const int cb = codebook_at(frame, g, b);
            if (cb != 0 && cb != kNoiseCodebook)
                return frame.scalefactor[static_cast<std::size_t>(g * kMaxBands + b)];
        }
    }
    return kSfOffset;
}

constexpr int kNoisePcmBits = 9;
constexpr int kNoisePcmOffset = 256;

// Calls emit(delta) for each scalefactor or noise energy difference (Huffman coded) and
// emit_pcm(value) for the first noise energy (9 bits). Noise energies run in their own chain
// from global_gain - 90; a difference out of range is clamped (the band's noise level moves
// a little), so counting and writing always agree.
template <typename Emit, typename EmitPcm>
void for_each_scalefactor_delta(const ChannelFrame& frame, Emit&& emit, EmitPcm&& emit_pcm) {
    const int gain = global_gain(frame);
    int last = gain;
    int last_noise = gain - kNoiseEnergyOffset;
    bool first_noise = true;
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb; ++b) {
            const int cb = codebook_at(frame, g, b);
            if (cb == 0) continue;
            const int sf = frame.scalefactor[static_cast<std::size_t>(g * kMaxBands + b)];
            if (cb == kNoiseCodebook) {
                if (first_noise) {
                    const int value =
                        std::clamp(sf - last_noise + kNoisePcmOffset, 0, (1 << kNoisePcmBits) - 1);
                    emit_pcm(value);
                    last_noise += value - kNoisePcmOffset;
                    first_noise = false;
                } else {
                    const int delta = std::clamp(sf - last_noise, -60, 60);
                    emit(delta);
                    last_noise += delta;
                }
                continue;
            }
            emit(sf - last);
            last = sf;
        }
    }
}

void write_channel_stream(BitWriter& writer, const ChannelFrame& frame, bool common_window) {
    writer.write(static_cast<std::uint32_t>(global_gain(frame)), 8);
    if (!common_window) write_ics_info(writer, frame);
    write_section_data(writer, frame);
    for_each_scalefactor_delta(
        frame, [&](int delta) { write_scalefactor_delta(writer, delta); },
        [&](int value) { writer.write(static_cast<std::uint32_t>(value), kNoisePcmBits); });
    writer.write(0, 3);  // pulse_data_present, tns_data_present, gain_control_data_present
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb; ++b) {
            const int cb = codebook_at(frame, g, b);
            if (cb != kNoiseCodebook) write_spectrum(writer, cb, frame.band_values(g, b));
        }
    }
}

}  // namespace

int channel_stream_bits(const ChannelFrame& frame, bool common_window,
                        int section_and_spectrum_bits) {
    int bits = 8 + 3 + section_and_spectrum_bits + (common_window ? 0 : ics_info_bits(frame));
    for_each_scalefactor_delta(
        frame, [&](int delta) { bits += scalefactor_delta_bits(delta); },
        [&](int) { bits += kNoisePcmBits; });
    return bits;
}

void write_single_channel_element(BitWriter& writer, const ChannelFrame& frame) {
    writer.write(kIdSingleChannel, 3);
    writer.write(0, 4);
    write_channel_stream(writer, frame, false);
}

int channel_pair_overhead_bits(const ChannelFrame& frame, std::span<const std::uint8_t> ms_used) {
    int bits = kElementHeaderBits + 1 + ics_info_bits(frame) + 2;
    bool any = false;
    for (auto used : ms_used) any = any || used != 0;
    if (any) bits += frame.group_count * frame.max_sfb;
    return bits;
}

void write_channel_pair_element(BitWriter& writer, const ChannelFrame& left,
                                const ChannelFrame& right, std::span<const std::uint8_t> ms_used) {
    writer.write(kIdChannelPair, 3);
    writer.write(0, 4);
    writer.write(1, 1);  // common_window
    write_ics_info(writer, left);
    bool any = false;
    for (auto used : ms_used) any = any || used != 0;
    writer.write(any ? 1U : 0U, 2);  // ms_mask_present: per-band mask or none
    if (any) {
        for (int g = 0; g < left.group_count; ++g) {
            for (int b = 0; b < left.max_sfb; ++b) {
                writer.write(ms_used[static_cast<std::size_t>(g * kMaxBands + b)], 1);
            }
        }
    }
    write_channel_stream(writer, left, true);
    write_channel_stream(writer, right, true);
}

void write_fill_bytes(BitWriter& writer, int byte_count) {
    constexpr int kMaxElementBytes = 270;
    while (byte_count > 0) {
        // The 7-bit id and count header stands in for the first byte of the element.
        const int element_bytes = std::min(byte_count, kMaxElementBytes);
        int payload_bytes = element_bytes - 1;
        writer.write(kIdFill, 3);
        if (payload_bytes >= 15) {
            // The escaped count takes one more header byte.
            payload_bytes = element_bytes - 2;
            writer.write(15, 4);
            writer.write(static_cast<std::uint32_t>(payload_bytes - 14), 8);
        } else {
            writer.write(static_cast<std::uint32_t>(payload_bytes), 4);
        }
        for (int i = 0; i < payload_bytes; ++i) writer.write(i == 0 ? 0x00 : 0xA5, 8);  // EXT_FILL
        byte_count -= element_bytes;
    }
}

int fill_payload_bits(std::size_t payload_bytes) {
    if (payload_bytes == 0) return 0;
    return 3 + 4 + (payload_bytes >= 15 ? 8 : 0) + 8 * static_cast<int>(payload_bytes);
}

void write_fill_payload(BitWriter& writer, std::span<const std::uint8_t> payload) {
    if (payload.empty()) return;
    writer.write(kIdFill, 3);
    // cnt = count, or 15 + esc_count - 1 when count is 15.
    if (payload.size() >= 15) {
        writer.write(15, 4);
        writer.write(static_cast<std::uint32_t>(payload.size() - 14), 8);
    } else {
        writer.write(static_cast<std::uint32_t>(payload.size()), 4);
    }
    for (auto byte : payload) writer.write(byte, 8);
}

void write_end_and_align(BitWriter& writer) {
    writer.write(kIdEnd, 3);
    writer.align_to_byte();
}

std::array<std::uint8_t, kAdtsHeaderBytes> adts_header(int sampling_frequency_index, int channels,
                                                       int payload_bytes) {
    BitWriter writer;
    writer.write(0xFFF, 12);  // syncword
    writer.write(0, 1);       // ID: MPEG-4
    writer.write(0, 2);       // layer
    writer.write(1, 1);       // protection_absent
    writer.write(kAacLcObjectType - 1, 2);
    writer.write(static_cast<std::uint32_t>(sampling_frequency_index), 4);
    writer.write(0, 1);  // private_bit
    writer.write(static_cast<std::uint32_t>(channels), 3);
    writer.write(0, 4);  // original_copy, home, copyright id bit and start
    writer.write(static_cast<std::uint32_t>(payload_bytes + kAdtsHeaderBytes), 13);
    writer.write(0x7FF, 11);  // buffer fullness: variable rate
    writer.write(0, 2);       // one raw data block
    std::array<std::uint8_t, kAdtsHeaderBytes> header{};
    std::copy(writer.bytes().begin(), writer.bytes().end(), header.begin());
    return header;
}

std::vector<std::uint8_t> audio_specific_config(int sampling_frequency_index, int channels) {
    BitWriter writer;
    writer.write(kAacLcObjectType, 5);
    writer.write(static_cast<std::uint32_t>(sampling_frequency_index), 4);
    writer.write(static_cast<std::uint32_t>(channels), 4);
    writer.write(0, 3);  // GASpecificConfig: 1024 frame, no core coder, no extension
    return writer.bytes();
}

}  // namespace heaac
