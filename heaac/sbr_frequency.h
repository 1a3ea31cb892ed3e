#pragma once
// SBR frequency band tables derived from the header fields by the rules of ISO/IEC 14496-3,
// 4.6.18.3.2, so the encoder's bands are exactly the decoder's.
#include <optional>
#include <vector>

namespace heaac {

struct SbrBandParams {
    int start_freq = 0;   // bs_start_freq, 0..15
    int stop_freq = 0;    // bs_stop_freq, 0..15
    int xover_band = 0;   // bs_xover_band
    int freq_scale = 2;   // bs_freq_scale: 12, 10 or 8 bands per octave for 1, 2, 3
    int alter_scale = 1;  // bs_alter_scale
    int noise_bands = 2;  // bs_noise_bands
};

struct SbrBands {
    int k0 = 0;  // first QMF band of the master table
    int k2 = 0;  // QMF band above the last
    int kx = 0;  // first SBR band: the crossover
    std::vector<int> master;
    std::vector<int> high;   // N_high + 1 borders
    std::vector<int> low;    // N_low + 1 borders
    std::vector<int> noise;  // N_Q + 1 borders
    [[nodiscard]] int high_count() const { return static_cast<int>(high.size()) - 1; }
    [[nodiscard]] int low_count() const { return static_cast<int>(low.size()) - 1; }
    [[nodiscard]] int noise_count() const { return static_cast<int>(noise.size()) - 1; }
};

// Null when the fields give no valid table at `sbr_rate_hz` (the rate of the output).
[[nodiscard]] std::optional<SbrBands> derive_sbr_bands(int sbr_rate_hz,
                                                       const SbrBandParams& params);

}  // namespace heaac
