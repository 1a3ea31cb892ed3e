#pragma once
// Section data: which codebook codes which run of bands, chosen to minimise the bits of
// section headers plus spectral data.
#include "heaac/channel_frame.h"

namespace heaac {

// Chooses codebooks for every group of `frame` (bands below max_sfb), stores them in
// frame.codebook and returns the bits of section data plus spectral data. Bands marked in
// frame.noise take the noise codebook, which carries no spectral data.
int choose_sections(ChannelFrame& frame);

// A quick upper bound of choose_sections for the rate loop: each band takes the better of
// the smallest codebook pair that fits its peak, and sections break wherever the codebook
// changes. Stores the codebooks in frame.codebook and returns their section and spectral bits,
// which the optimal sectioning never exceeds.
int estimate_sections(ChannelFrame& frame);

// Bits of section_data for the codebooks already in `frame`.
int section_header_bits(const ChannelFrame& frame);

}  // namespace heaac
