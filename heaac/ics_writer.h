#pragma once
// Syntax of one raw_data_block: single and channel-pair elements, fill and end elements,
// plus the ADTS header and the AudioSpecificConfig (ISO/IEC 14496-3, 1.6 and 4.4).
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "heaac/bit_writer.h"
#include "heaac/channel_frame.h"

namespace heaac {

// Bits individual_channel_stream() takes for `frame`, whose codebooks are chosen.
// `common_window` leaves out ics_info, as inside a channel pair with a shared window.
int channel_stream_bits(const ChannelFrame& frame, bool common_window,
                        int section_and_spectrum_bits);

void write_single_channel_element(BitWriter& writer, const ChannelFrame& frame);

// Both frames share window sequence, shape, grouping and max_sfb. `ms_used` per group and band.
void write_channel_pair_element(BitWriter& writer, const ChannelFrame& left,
                                const ChannelFrame& right, std::span<const std::uint8_t> ms_used);
int channel_pair_overhead_bits(const ChannelFrame& frame, std::span<const std::uint8_t> ms_used);

// One fill element carrying `payload` (one extension_payload(), at most 269 bytes), and the
// bits it takes.
void write_fill_payload(BitWriter& writer, std::span<const std::uint8_t> payload);
int fill_payload_bits(std::size_t payload_bytes);

// Fill elements carrying `byte_count` bytes in total (each element 1 to 270 bytes long).
void write_fill_bytes(BitWriter& writer, int byte_count);
void write_end_and_align(BitWriter& writer);

inline constexpr int kElementHeaderBits = 7;  // id_syn_ele and element_instance_tag
inline constexpr int kEndBits = 3;
inline constexpr int kAdtsHeaderBytes = 7;

// A 7-byte ADTS header (no CRC) for an AAC-LC frame of `payload_bytes`.
std::array<std::uint8_t, kAdtsHeaderBytes> adts_header(int sampling_frequency_index, int channels,
                                                       int payload_bytes);

// AudioSpecificConfig of AAC-LC with 1024-sample frames.
std::vector<std::uint8_t> audio_specific_config(int sampling_frequency_index, int channels);

}  // namespace heaac
