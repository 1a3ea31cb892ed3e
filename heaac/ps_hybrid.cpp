// Subband k of the analysis turns at pi (k + 1/2) per slot; removing that rotation centres the
// band on zero, its lower half at negative and its upper half at positive frequencies.
#include "heaac/ps_hybrid.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace heaac {
namespace {

struct Split {
    int subband;
    int ways;        // equal parts of the band, lowest first
    int first_band;  // stereo band of the lowest part
};
constexpr std::array<Split, 3> kSplits = {{{0, 4, 0}, {1, 2, 4}, {2, 2, 6}}};

std::array<float, kHybridTaps> hann() {
    std::array<float, kHybridTaps> window{};
    for (int n = 0; n < kHybridTaps; ++n) {
        window[static_cast<std::size_t>(n)] = static_cast<float>(
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (n + 1) / (kHybridTaps + 1)));
    }
    return window;
}

// Filters the demodulated subband with the band-pass of `part` of `ways` and returns the output
// for each frame slot.
void band_pass(std::span<const std::complex<float>> baseband, int part, int ways,
               std::vector<std::complex<float>>& out) {
    static const auto window = hann();
    const double centre = -std::numbers::pi / 2 + std::numbers::pi * (part + 0.5) / ways;
    std::array<std::complex<float>, kHybridTaps> taps{};
    for (int n = 0; n < kHybridTaps; ++n) {
        taps[static_cast<std::size_t>(n)] =
            window[static_cast<std::size_t>(n)] *
            std::polar(1.0F, static_cast<float>(centre * (n - kHybridMarginSlots)));
    }
    const int slots = static_cast<int>(baseband.size()) - 2 * kHybridMarginSlots;
    out.assign(static_cast<std::size_t>(std::max(slots, 0)), {});
    for (int l = 0; l < slots; ++l) {
        std::complex<float> sum{};
        // Output at frame slot l looks at input slots l .. l + 2 * margin (centred on l + margin).
        for (int n = 0; n < kHybridTaps; ++n)
            sum += taps[static_cast<std::size_t>(n)] *
                   baseband[static_cast<std::size_t>(l + kHybridTaps - 1 - n)];
        out[static_cast<std::size_t>(l)] = sum;
    }
}

}  // namespace

LowBandStatistics analyse_low_stereo_bands(std::span<const QmfSlot> left,
                                           std::span<const QmfSlot> right) {
    LowBandStatistics stats;
    std::vector<std::complex<float>> base_l(left.size()), base_r(right.size()), out_l, out_r;
    for (const auto& split : kSplits) {
        for (std::size_t l = 0; l < left.size(); ++l) {
            const auto turn =
                std::polar(1.0F, static_cast<float>(-std::numbers::pi * (split.subband + 0.5) *
                                                    static_cast<double>(l)));
            base_l[l] = left[l][static_cast<std::size_t>(split.subband)] * turn;
            base_r[l] = right[l][static_cast<std::size_t>(split.subband)] * turn;
        }
        for (int part = 0; part < split.ways; ++part) {
            band_pass(base_l, part, split.ways, out_l);
            band_pass(base_r, part, split.ways, out_r);
            const auto band = static_cast<std::size_t>(split.first_band + part);
            for (std::size_t l = 0; l < out_l.size(); ++l) {
                stats.left[band] += std::norm(out_l[l]);
                stats.right[band] += std::norm(out_r[l]);
                stats.cross[band] += static_cast<double>(out_l[l].real() * out_r[l].real() +
                                                         out_l[l].imag() * out_r[l].imag());
            }
        }
    }
    return stats;
}

}  // namespace heaac
