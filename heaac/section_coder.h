#pragma once
// Section data: which codebook codes which run of bands, chosen to minimise the bits of
// section headers plus spectral data.
#include "heaac/channel_frame.h"

namespace heaac {

// Chooses codebooks for every group of `frame` (bands below max_sfb), stores them in
// frame.codebook and returns the bits of section data plus spectral data.
int choose_sections(ChannelFrame& frame);

// Bits of section_data for the codebooks already in `frame`.
int section_header_bits(const ChannelFrame& frame);

}  // namespace heaac
