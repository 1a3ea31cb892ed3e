#include "heaac/sbr_frequency.h"

#include <algorithm>
#include <cmath>

namespace heaac {
namespace {

// Offsets of the start band from startMin per bs_start_freq (ISO/IEC 14496-3, 4.6.18.3.2.1).
constexpr int kStartOffsets[6][16] = {
    {-8, -7, -6, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7},  // 16000 Hz
    {-5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 13},   // 22050 Hz
    {-5, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 13, 16},   // 24000 Hz
    {-6, -4, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 13, 16},   // 32000 Hz
    {-4, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 13, 16, 20},   // 44100 to 64000 Hz
    {-2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 13, 16, 20, 24}};  // above 64000 Hz

int offset_row(int rate_hz) {
    if (rate_hz <= 16000) return 0;
    if (rate_hz <= 22050) return 1;
    if (rate_hz <= 24000) return 2;
    if (rate_hz <= 32000) return 3;
    if (rate_hz <= 64000) return 4;
    return 5;
}

// Band widths growing geometrically from `start` to `stop` in `count` steps, rounded to
// whole QMF bands, ascending.
std::vector<int> geometric_widths(int start, int stop, int count) {
    std::vector<int> widths(static_cast<std::size_t>(count));
    // Single precision, as decoders compute it: the rounding of near-ties must agree.
    const float base = std::pow(static_cast<float>(stop) / static_cast<float>(start),
                                1.0F / static_cast<float>(count));
    float product = static_cast<float>(start);
    int previous = start;
    for (int i = 0; i < count; ++i) {
        product *= base;
        const int present = static_cast<int>(std::lrint(product));
        widths[static_cast<std::size_t>(i)] = present - previous;
        previous = present;
    }
    std::sort(widths.begin(), widths.end());
    return widths;
}

std::vector<int> cumulative(int first, const std::vector<int>& widths) {
    std::vector<int> borders{first};
    for (int w : widths) borders.push_back(borders.back() + w);
    return borders;
}

}  // namespace

std::optional<SbrBands> derive_sbr_bands(int sbr_rate_hz, const SbrBandParams& params) {
    if (params.start_freq < 0 || params.start_freq > 15 || params.stop_freq < 0 ||
        params.stop_freq > 15 || params.freq_scale < 1 || params.freq_scale > 3 ||
        params.noise_bands < 0 || params.noise_bands > 3) {
        return std::nullopt;
    }
    const int start_hz = sbr_rate_hz < 32000 ? 3000 : sbr_rate_hz < 64000 ? 4000 : 5000;
    const int stop_hz = sbr_rate_hz < 32000 ? 6000 : sbr_rate_hz < 64000 ? 8000 : 10000;
    const int start_min = (start_hz * 128 + sbr_rate_hz / 2) / sbr_rate_hz;
    const int stop_min = (stop_hz * 128 + sbr_rate_hz / 2) / sbr_rate_hz;

    SbrBands bands;
    bands.k0 = start_min + kStartOffsets[offset_row(sbr_rate_hz)][params.start_freq];
    if (params.stop_freq < 14) {
        const auto widths = geometric_widths(stop_min, 64, 13);
        int k2 = stop_min;
        for (int i = 0; i < params.stop_freq; ++i) k2 += widths[static_cast<std::size_t>(i)];
        bands.k2 = std::min(64, k2);
    } else {
        bands.k2 = std::min(64, (params.stop_freq == 14 ? 2 : 3) * bands.k0);
    }
    const int k0 = bands.k0;
    const int k2 = bands.k2;
    // The span the decoder accepts for this rate.
    const int max_span = sbr_rate_hz <= 32000 ? 48 : sbr_rate_hz == 44100 ? 35 : 32;
    if (k0 <= 0 || k2 <= k0 || k2 - k0 > max_span) return std::nullopt;

    const int per_octave = params.freq_scale == 1 ? 12 : params.freq_scale == 2 ? 10 : 8;
    const double warp = params.alter_scale ? 1.3 : 1.0;
    const bool two_regions = static_cast<double>(k2) / k0 > 2.2449;
    const int k1 = two_regions ? 2 * k0 : k2;
    const int count0 =
        2 *
        static_cast<int>(std::lround(per_octave * std::log2(static_cast<double>(k1) / k0) / 2.0));
    if (count0 <= 0) return std::nullopt;
    const auto widths0 = geometric_widths(k0, k1, count0);
    if (widths0.front() <= 0) return std::nullopt;
    bands.master = cumulative(k0, widths0);
    if (two_regions) {
        const int count1 =
            2 * static_cast<int>(std::lround(per_octave * std::log2(static_cast<double>(k2) / k1) /
                                             (2.0 * warp)));
        if (count1 <= 0) return std::nullopt;
        auto widths1 = geometric_widths(k1, k2, count1);
        if (widths1.front() < widths0.back()) {
            const int change = widths0.back() - widths1.front();
            widths1.front() += change;
            widths1.back() -= change;
            std::sort(widths1.begin(), widths1.end());
        }
        const auto upper = cumulative(k1, widths1);
        bands.master.insert(bands.master.end(), upper.begin() + 1, upper.end());
    }
    const int master_count = static_cast<int>(bands.master.size()) - 1;
    if (params.xover_band >= master_count) return std::nullopt;

    bands.high.assign(bands.master.begin() + params.xover_band, bands.master.end());
    bands.kx = bands.high.front();
    const int high_count = bands.high_count();
    const int low_count = high_count / 2 + high_count % 2;
    const int odd = high_count % 2;
    bands.low.push_back(bands.high.front());
    for (int i = 1; i <= low_count; ++i)
        bands.low.push_back(bands.high[static_cast<std::size_t>(2 * i - odd)]);
    // The decoder's limits: the crossover within the core's 32 bands, at most 5 noise bands.
    if (bands.kx > 32 || bands.kx + (bands.high.back() - bands.kx) > 64) return std::nullopt;

    int noise_count = 1;
    if (params.noise_bands > 0) {
        noise_count =
            std::max(1, static_cast<int>(std::lround(
                            params.noise_bands * std::log2(static_cast<double>(k2) / bands.kx))));
    }
    if (noise_count > 5) return std::nullopt;
    bands.noise.push_back(bands.low.front());
    int index = 0;
    for (int k = 1; k <= noise_count; ++k) {
        index += (low_count - index) / (noise_count + 1 - k);
        bands.noise.push_back(bands.low[static_cast<std::size_t>(index)]);
    }
    return bands;
}

}  // namespace heaac
