// The waveform pictures worked out the plain way, straight from their rules
// and apart from the module's code: one level at a time, sample by sample,
// every pixel decided on its own. The tests compare the module's PNGs with
// these rows.
#pragma once

#include <cstdint>
#include <vector>

#include "external/audio/tests/audio_test_support.h"

namespace nb::external::audio::testing {

struct ReferencePicture {
    int width = 0;
    int height = 0;
    std::vector<std::vector<std::uint8_t>> rows;  // palette indexes
};

// Level level's picture of a sound whose header announces data_bytes.
ReferencePicture ReferenceWaveform(const Samples& samples, std::uint32_t data_bytes, int level);

// What a picture of silence shows: the centre row and the grid.
ReferencePicture EmptyWaveform(int level);

}  // namespace nb::external::audio::testing
