// The model works on the MDCT bands directly: it is cheap, and the rate loop moves all
// thresholds together anyway, so only their shape across frequency matters.
#include "heaac/psy_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace heaac {
namespace {

constexpr int kMaxBandCount = 64;
// Signal-to-mask ratios of pure noise and pure tones, after Johnston's noise-masking-tone and
// tone-masking-noise figures; the noise one is raised from 6 to 9 dB, which measured better
// in aqm on speech and music at 24 to 64 kbit/s.
constexpr float kNoiseSmrDb = 9.0F;
constexpr float kToneSmrDb = 18.0F;
// Masking slopes per band towards higher and lower bands.
constexpr float kUpperSpreadDb = -10.0F;
constexpr float kLowerSpreadDb = -20.0F;
// Exponent on each band's masked noise density relative to the frame's largest: 1 keeps the
// masking curve's shape, 0 would make the noise white. Chosen against aqm on the test clips.
constexpr float kThresholdFlattening = 0.7F;
constexpr float kMaxNoiseToEnergy = 0.9F;
// Bands below this edge may carry 4 dB less noise: they are few lines wide, so precision there
// is cheap, and their waveform and level carry most of speech and music. Measured with aqm
// (low-band SNR and LSD of the lowest critical bands) against 0, 6, 9 and 12 dB below 400,
// 800, 1000, 1500 and 2000 Hz.
constexpr float kLowBandEdgeHz = 1500.0F;
constexpr float kLowBandNoiseScale = 0.398F;  // -4 dB
// Full scale sine in MDCT units for 16-bit input: amplitude 32768 * N (N = 1024 lines).
constexpr float kFullScaleEnergy = 32768.0F * 1024.0F * 32768.0F * 1024.0F;

float db_to_power(float level_db) { return std::pow(10.0F, level_db / 10.0F); }

// Terhardt's absolute threshold in dB SPL, with 96 dB SPL taken as full scale.
float absolute_threshold_db(float frequency_hz) {
    const float f_khz = std::max(frequency_hz, 20.0F) / 1000.0F;
    const float spl_db = 3.64F * std::pow(f_khz, -0.8F) -
                         6.5F * std::exp(-0.6F * (f_khz - 3.3F) * (f_khz - 3.3F)) +
                         1e-3F * std::pow(f_khz, 4.0F);
    return std::min(spl_db, 90.0F) - 96.0F;
}

// Tonality from the band's spectral flatness: 0 for noise, 1 for a pure tone.
float band_tonality(std::span<const float> lines) {
    double log_sum = 0.0;
    double sum = 0.0;
    // One logarithm per four lines: a product of four powers stays well inside double range.
    double product = 1.0;
    int in_product = 0;
    for (float value : lines) {
        const double power = static_cast<double>(value) * value + 1e-3;
        product *= power;
        if (++in_product == 4) {
            log_sum += std::log(product);
            product = 1.0;
            in_product = 0;
        }
        sum += power;
    }
    log_sum += std::log(product);
    const double count = static_cast<double>(lines.size());
    const double flatness_db = 10.0 * (log_sum / count - std::log(sum / count)) / std::log(10.0);
    return static_cast<float>(std::clamp(flatness_db / -30.0, 0.0, 1.0));
}

// Pulls each band's masked noise density (per line) towards the frame's largest one, with
// exponent kThresholdFlattening on the ratio. A fully shaped threshold lets the noise follow
// the loud low bands, which costs much waveform fidelity there at low rates; a flatter one
// spends the bits where the signal carries its energy.
void flatten_thresholds(std::span<float> masked, std::span<const std::uint16_t> offsets) {
    float peak_density = 0.0F;
    for (std::size_t b = 0; b < masked.size(); ++b) {
        peak_density =
            std::max(peak_density, masked[b] / static_cast<float>(offsets[b + 1] - offsets[b]));
    }
    if (peak_density <= 0.0F) return;
    for (std::size_t b = 0; b < masked.size(); ++b) {
        const float width = static_cast<float>(offsets[b + 1] - offsets[b]);
        const float density = masked[b] / width;
        masked[b] = width * peak_density * std::pow(density / peak_density, kThresholdFlattening);
    }
}

}  // namespace

void allowed_noise_per_band(const PsyBandInput& input, std::span<float> energy,
                            std::span<float> allowed_noise, std::span<float> tonality) {
    const int bands = std::min(input.band_count, kMaxBandCount);
    const float window_lines =
        static_cast<float>(input.offsets[static_cast<std::size_t>(input.band_count)]);
    const float line_scale = window_lines / 1024.0F;
    std::array<float, kMaxBandCount> masked{};
    for (int b = 0; b < bands; ++b) {
        const auto begin = input.offsets[static_cast<std::size_t>(b)];
        const auto end = input.offsets[static_cast<std::size_t>(b) + 1];
        const auto lines = input.coefficients.subspan(begin, static_cast<std::size_t>(end - begin));
        float sum = 0.0F;
        for (float value : lines) sum += value * value;
        energy[static_cast<std::size_t>(b)] = sum;
        const float band_tone = band_tonality(lines);
        if (!tonality.empty()) tonality[static_cast<std::size_t>(b)] = band_tone;
        const float smr_db = kNoiseSmrDb + (kToneSmrDb - kNoiseSmrDb) * band_tone;
        masked[static_cast<std::size_t>(b)] = sum / db_to_power(smr_db);
    }
    // Spreading: each band's threshold is raised by its neighbours' masking, decaying per band.
    const float up = db_to_power(kUpperSpreadDb);
    const float down = db_to_power(kLowerSpreadDb);
    for (int b = 1; b < bands; ++b) {
        masked[static_cast<std::size_t>(b)] = std::max(
            masked[static_cast<std::size_t>(b)], masked[static_cast<std::size_t>(b) - 1] * up);
    }
    for (int b = bands - 2; b >= 0; --b) {
        masked[static_cast<std::size_t>(b)] = std::max(
            masked[static_cast<std::size_t>(b)], masked[static_cast<std::size_t>(b) + 1] * down);
    }
    flatten_thresholds({masked.data(), static_cast<std::size_t>(bands)}, input.offsets);
    // Flattening may lift a quiet band's threshold above its energy, which would leave a
    // spectral hole; keeping it just below lets the band be coded coarsely instead.
    for (int b = 0; b < bands; ++b) {
        const auto slot = static_cast<std::size_t>(b);
        masked[slot] = std::min(masked[slot], kMaxNoiseToEnergy * energy[slot]);
    }
    for (int b = 0; b < bands; ++b) {
        const auto begin = input.offsets[static_cast<std::size_t>(b)];
        const auto end = input.offsets[static_cast<std::size_t>(b) + 1];
        const float centre_hz = 0.5F * static_cast<float>(begin + end) *
                                static_cast<float>(input.rate_hz) / (2.0F * window_lines);
        const float quiet = kFullScaleEnergy * line_scale * line_scale *
                            db_to_power(absolute_threshold_db(centre_hz)) *
                            static_cast<float>(end - begin) / window_lines;
        allowed_noise[static_cast<std::size_t>(b)] =
            std::max(masked[static_cast<std::size_t>(b)], quiet);
        if (centre_hz < kLowBandEdgeHz)
            allowed_noise[static_cast<std::size_t>(b)] *= kLowBandNoiseScale;
    }
}

}  // namespace heaac
