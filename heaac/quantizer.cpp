// Quantisation follows the decoder's reconstruction x = sign(q) |q|^(4/3) 2^((sf - 100) / 4).
// A band's noise with step exponent sf is about (4/27) 2^(3 (sf - 100) / 8) sum sqrt|x|, which
// gives the scalefactor that meets the allowed noise directly; the rate loop then shifts all
// scalefactors by one common offset.
#include "heaac/quantizer.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "heaac/ics_writer.h"
#include "heaac/section_coder.h"
#include "heaac/spectrum_huffman.h"

namespace heaac {
namespace {

constexpr float kRoundingBias = 0.4054F;
constexpr int kMaxScalefactor = 255;
constexpr int kMaxScalefactorDelta = 60;
constexpr int kSilentBand = -1000;
constexpr int kOffsetLow = -40;
constexpr int kOffsetHigh = 120;
constexpr int kMaxNoiseEnergy = 100;  // FFmpeg's decoder clips noise energies above

struct BandPlan {
    std::array<float, kLongWindowLines> magnitude_34{};  // |x|^(3/4)
    std::array<bool, kLongWindowLines> negative{};
    std::array<int, kMaxGroups * kMaxBands> base_scalefactor{};
    std::array<int, kMaxGroups * kMaxBands> noise_energy{};
    // Bands sent as noise when they quantise to nothing, rather than left empty.
    std::array<bool, kMaxGroups * kMaxBands> noise_where_silent{};
};

std::size_t slot(int group, int band) { return static_cast<std::size_t>(group * kMaxBands + band); }

void plan_bands(ChannelFrame& frame, std::span<const float> coefficients,
                std::span<const float> allowed_noise, std::span<const std::uint8_t> noise_bands,
                BandPlan& plan) {
    for (std::size_t i = 0; i < coefficients.size(); ++i) {
        const float magnitude = std::fabs(coefficients[i]);
        plan.magnitude_34[i] = std::sqrt(magnitude * std::sqrt(magnitude));
        plan.negative[i] = coefficients[i] < 0.0F;
    }
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb; ++b) {
            const int start = frame.band_start(g, b);
            const int length = frame.band_length(g, b);
            double energy = 0.0;
            double root_sum = 0.0;
            for (int i = start; i < start + length; ++i) {
                const double x = coefficients[static_cast<std::size_t>(i)];
                energy += x * x;
                root_sum += std::sqrt(std::fabs(x));
            }
            const double noise = allowed_noise[slot(g, b)];
            const std::uint8_t noise_choice = noise_bands.empty() ? 0 : noise_bands[slot(g, b)];
            plan.noise_where_silent[slot(g, b)] = noise_choice != 0 && energy > 1.0;
            // The decoder's noise has sum x^2 = 2^(energy / 2).
            if (energy > 1.0) {
                plan.noise_energy[slot(g, b)] = std::min(
                    static_cast<int>(std::lround(2.0 * std::log2(energy))), kMaxNoiseEnergy);
            }
            if (noise_choice == kNoiseBand && energy > 1.0) {
                frame.noise[slot(g, b)] = 1;
                plan.base_scalefactor[slot(g, b)] = kSilentBand;
                continue;
            }
            if (energy <= noise || root_sum <= 0.0) {
                plan.base_scalefactor[slot(g, b)] = kSilentBand;
                continue;
            }
            const double sf = kSfOffset + (8.0 / 3.0) * std::log2(27.0 * noise / (4.0 * root_sum));
            plan.base_scalefactor[slot(g, b)] = static_cast<int>(std::lround(sf));
        }
    }
}

// Quantises one band with `sf`, signs included; returns the largest magnitude.
int quantize_band(ChannelFrame& frame, const BandPlan& plan, int group, int band, int sf) {
    const int start = frame.band_start(group, band);
    const int length = frame.band_length(group, band);
    const float inverse_step = std::exp2(-0.1875F * static_cast<float>(sf - kSfOffset));
    int peak = 0;
    for (int i = start; i < start + length; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const int q = static_cast<int>(plan.magnitude_34[k] * inverse_step + kRoundingBias);
        frame.quantized[k] = plan.negative[k] ? -q : q;
        peak = std::max(peak, q);
    }
    return peak;
}

void zero_band(ChannelFrame& frame, int group, int band) {
    const int start = frame.band_start(group, band);
    std::fill_n(frame.quantized.begin() + start, frame.band_length(group, band), 0);
}

// Quantises every band with its base scalefactor plus `offset`, keeping scalefactors in range,
// magnitudes codable and neighbouring transmitted scalefactors within +-60.
void quantize_with_offset(ChannelFrame& frame, const BandPlan& plan, int offset) {
    int last = -1;
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb; ++b) {
            const int base = plan.base_scalefactor[slot(g, b)];
            if (base == kSilentBand) {
                zero_band(frame, g, b);
                if (frame.noise[slot(g, b)] == 0 && plan.noise_where_silent[slot(g, b)])
                    frame.noise[slot(g, b)] = 1;
                if (frame.noise[slot(g, b)] != 0)
                    frame.scalefactor[slot(g, b)] = plan.noise_energy[slot(g, b)];
                continue;
            }
            int sf = std::clamp(base + offset, 0, kMaxScalefactor);
            if (last >= 0)
                sf = std::clamp(sf, last - kMaxScalefactorDelta, last + kMaxScalefactorDelta);
            int peak = quantize_band(frame, plan, g, b, sf);
            while (peak > kMaxQuantizedMagnitude && sf < kMaxScalefactor) {
                sf = std::min(sf + 4, kMaxScalefactor);
                peak = quantize_band(frame, plan, g, b, sf);
            }
            frame.scalefactor[slot(g, b)] = sf;
            frame.noise[slot(g, b)] = peak == 0 && plan.noise_where_silent[slot(g, b)] ? 1 : 0;
            if (frame.noise[slot(g, b)] != 0)
                frame.scalefactor[slot(g, b)] = plan.noise_energy[slot(g, b)];
            if (peak > 0) last = sf;
        }
    }
}

// Sectioning may code an all-zero band with a nonzero codebook when that saves a section
// header; its scalefactor is then transmitted, so it repeats the previous one (delta 0).
bool band_is_silent(const ChannelFrame& frame, int group, int band) {
    const auto values = frame.band_values(group, band);
    return std::all_of(values.begin(), values.end(), [](int q) { return q == 0; });
}

void repeat_scalefactors_of_zero_bands(ChannelFrame& frame) {
    // Silent bands before the first audible one take its scalefactor.
    int last = -1;
    for (int g = 0; g < frame.group_count && last < 0; ++g) {
        for (int b = 0; b < frame.max_sfb && last < 0; ++b) {
            const int cb = frame.codebook[slot(g, b)];
            if (cb != 0 && cb != kNoiseCodebook && !band_is_silent(frame, g, b))
                last = frame.scalefactor[slot(g, b)];
        }
    }
    if (last < 0) last = kSfOffset;
    for (int g = 0; g < frame.group_count; ++g) {
        for (int b = 0; b < frame.max_sfb; ++b) {
            if (frame.codebook[slot(g, b)] == 0 || frame.codebook[slot(g, b)] == kNoiseCodebook)
                continue;
            if (band_is_silent(frame, g, b)) frame.scalefactor[slot(g, b)] = last;
            last = frame.scalefactor[slot(g, b)];
        }
    }
}

// Bits of the channel stream with every scalefactor shifted by `offset`: exact (optimal
// sectioning, as written) or a quick upper bound of it for the search.
int quantize_and_count(ChannelFrame& frame, const BandPlan& plan, int offset, bool common_window,
                       bool exact) {
    quantize_with_offset(frame, plan, offset);
    const int coded_bits = exact ? choose_sections(frame) : estimate_sections(frame);
    repeat_scalefactors_of_zero_bands(frame);
    return channel_stream_bits(frame, common_window, coded_bits);
}

}  // namespace

QuantizeResult quantize_channel(ChannelFrame& frame, std::span<const float> coefficients,
                                std::span<const float> allowed_noise, int bit_budget,
                                bool common_window, int first_offset,
                                std::span<const std::uint8_t> noise_bands) {
    frame.quantized.fill(0);
    frame.noise.fill(0);
    BandPlan plan;
    plan_bands(frame, coefficients, allowed_noise, noise_bands, plan);
    // The search runs on the quick estimate (an upper bound); the optimal sectioning runs
    // only at the end.
    const auto fits = [&](int offset) {
        return quantize_and_count(frame, plan, offset, common_window, false) <= bit_budget;
    };
    // Bracket the smallest fitting offset (finest quantisation; bits fall as the offset rises)
    // by steps doubling away from the first guess, usually the previous frame's answer, then
    // bisect: neighbouring frames need similar offsets, so this takes few trials.
    int fitting = std::clamp(first_offset, kOffsetLow, kOffsetHigh);
    int failing = kOffsetLow - 1;
    if (fits(fitting)) {
        for (int step = 1; fitting > kOffsetLow; step *= 2) {
            const int trial = std::max(fitting - step, kOffsetLow);
            if (!fits(trial)) {
                failing = trial;
                break;
            }
            fitting = trial;
        }
    } else {
        failing = fitting;
        fitting = kOffsetHigh;
        for (int step = 1; failing < kOffsetHigh; step *= 2) {
            const int trial = std::min(failing + step, kOffsetHigh);
            if (fits(trial)) {
                fitting = trial;
                break;
            }
            failing = trial;
        }
    }
    while (fitting - failing > 1) {
        const int middle = failing + (fitting - failing) / 2;
        if (fits(middle)) {
            fitting = middle;
        } else {
            failing = middle;
        }
    }
    // The estimate runs about one step coarse, so the exact count starts one step finer, and
    // goes up while that does not fit (the optimal sectioning ignores the one bit a zero band
    // coded inside a section costs). When it fits, the estimate's excess over it there
    // predicts whether one more step fits; only then is that counted too.
    const int estimated_bits =
        fitting > kOffsetLow ? quantize_and_count(frame, plan, fitting - 1, common_window, false)
                             : 0;
    if (fitting > kOffsetLow) --fitting;
    int bits = quantize_and_count(frame, plan, fitting, common_window, true);
    if (bits <= bit_budget) {
        if (fitting > kOffsetLow) {
            const ChannelFrame fitting_frame = frame;
            const int excess = estimated_bits - bits;
            if (quantize_and_count(frame, plan, fitting - 1, common_window, false) - excess >
                bit_budget) {
                frame = fitting_frame;
            } else {
                const int finer_bits =
                    quantize_and_count(frame, plan, fitting - 1, common_window, true);
                if (finer_bits > bit_budget) {
                    frame = fitting_frame;
                } else {
                    --fitting;
                    bits = finer_bits;
                }
            }
        }
    } else {
        while (bits > bit_budget && fitting < kOffsetHigh) {
            bits = quantize_and_count(frame, plan, ++fitting, common_window, true);
        }
    }
    return {bits, fitting};
}

}  // namespace heaac
