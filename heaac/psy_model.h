#pragma once
// Psychoacoustic model: the noise energy each scalefactor band may carry unheard.
#include <cstdint>
#include <span>

namespace heaac {

struct PsyBandInput {
    std::span<const float> coefficients;     // MDCT coefficients of one window
    std::span<const std::uint16_t> offsets;  // band edges in lines
    int band_count;
    int rate_hz;
};

// Fills `allowed_noise` (one energy per band, MDCT units squared) and `energy` per band.
// Masking spreads from each band to its neighbours, tonal bands mask less than noisy ones,
// and no threshold falls below the absolute threshold of hearing.
// `tonality`, when not empty, receives each band's tonality (0 noise-like to 1 tonal).
void allowed_noise_per_band(const PsyBandInput& input, std::span<float> energy,
                            std::span<float> allowed_noise, std::span<float> tonality = {});

}  // namespace heaac
