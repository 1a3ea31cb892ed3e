#pragma once
// Scalefactor choice and quantisation of one channel under a bit budget.
#include <span>

#include "heaac/channel_frame.h"

namespace heaac {

struct QuantizeResult {
    int bits;    // of individual_channel_stream()
    int offset;  // the common scalefactor offset chosen; a good first guess for the next frame
};

// Quantises `coefficients` (coding order, as ChannelFrame::quantized) into `frame`, whose
// window, grouping and max_sfb are set. Each band's step starts from its allowed noise
// (per group and band); one offset common to all bands is searched, starting at
// `first_offset`, for the finest quantisation that fits `bit_budget` (the coarsest allowed
// when none fits). `noise_bands` (per group and band, may be empty): kNoiseBand bands go as
// noise of their energy (PNS); kNoiseWhereSilent bands do so when they quantise to nothing.
[[nodiscard]] QuantizeResult quantize_channel(ChannelFrame& frame,
                                              std::span<const float> coefficients,
                                              std::span<const float> allowed_noise, int bit_budget,
                                              bool common_window, int first_offset,
                                              std::span<const std::uint8_t> noise_bands = {});

}  // namespace heaac
