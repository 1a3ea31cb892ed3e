// Envelope values are log2 energies in the decoder's subband scale (64 * 2^(value / alpha));
// noise floors are noise-to-tone ratios 2^(6 - value). Tonality comes from the gain of a
// second-order linear predictor run along each subband, as the decoder's inverse filter does.
#include "heaac/sbr_encoder.h"

#include <algorithm>
#include <cmath>

namespace heaac {
namespace {

constexpr int kSbrRateHz = 44100;
// Subband energy of our analysis times this is the energy the decoder's analysis of the same
// signal measures (the two banks' gains; checked end to end with FFmpeg's decoder).
constexpr float kEnergyScale = 16384.0F;
constexpr float kEnvelopeReference = 64.0F;
constexpr int kNoiseFloorOffset = 6;
// Prediction gain counted as "no tone at all". Each subband fills only half of the slot rate's
// spectrum, so white noise predicts with a gain of about 3 here; 2 keeps a little more of the
// patch on noisy music (found on the music and speech clips).
constexpr double kNoisePredictionGain = 2.0;
// Slots of high-band energy below this (about -80 dB full scale per band) never count as
// a transient: a step out of silence is not worth finer time resolution.
constexpr float kMinTransientEnergy = 1.0e3F;
constexpr float kRecentEnergyWeight = 0.125F;
// A band takes an added sine when one subband holds this share of its energy, predictably.
constexpr double kHarmonicShare = 0.5;
constexpr double kHarmonicOnDb = 10.0;  // prediction gain that starts a sine
constexpr double kHarmonicOffDb = 6.0;  // and below which it stops
constexpr double kMinHarmonicEnergy = 1.0e4;
// Mean distance (dB) between the quarters of a frame and their envelope beyond which the
// frame gets more envelopes (found on music and speech clips: finer steps buy little).
constexpr double kMaxEnvelopeDeviationDb = 1.0;

struct Predictability {
    double energy = 0.0;    // r(0)
    double residual = 0.0;  // second-order prediction error energy
};

// Levinson recursion on the autocorrelation of one subband over `slots`.
Predictability predict(std::span<const QmfSlot> slots, int band) {
    std::complex<double> r1{}, r2{};
    double r0 = 0.0;
    for (std::size_t n = 0; n < slots.size(); ++n) {
        const std::complex<double> x = slots[n][static_cast<std::size_t>(band)];
        r0 += std::norm(x);
        if (n >= 1)
            r1 += x * std::conj(std::complex<double>(slots[n - 1][static_cast<std::size_t>(band)]));
        if (n >= 2)
            r2 += x * std::conj(std::complex<double>(slots[n - 2][static_cast<std::size_t>(band)]));
    }
    if (r0 <= 1e-9) return {};
    const std::complex<double> a1 = r1 / r0;
    const double e1 = std::max(r0 - std::norm(r1) / r0, 1e-12 * r0);
    const std::complex<double> k2 = (r2 - a1 * r1) / e1;
    const double e2 = std::max(e1 * (1.0 - std::min(std::norm(k2), 1.0)), 1e-6 * r0);
    return {r0, e2};
}

// Prediction gain of the subbands [first, last) over `slots`, energy-weighted.
double prediction_gain(std::span<const QmfSlot> slots, int first, int last) {
    double energy = 0.0, residual = 0.0;
    for (int k = first; k < last; ++k) {
        const auto p = predict(slots, k);
        energy += p.energy;
        residual += p.residual;
    }
    return residual > 0.0 ? energy / residual : 1.0;
}

}  // namespace

std::unique_ptr<SbrEncoder> SbrEncoder::create(const SbrTuning& tuning) {
    const auto bands = derive_sbr_bands(kSbrRateHz, tuning.header.bands);
    if (!bands) return nullptr;
    return std::unique_ptr<SbrEncoder>(new SbrEncoder(tuning, *bands));
}

SbrEncoder::SbrEncoder(const SbrTuning& tuning, const SbrBands& bands)
    : m_tuning(tuning), m_bands(bands), m_writer(tuning.header, bands) {}

int SbrEncoder::crossover_hz() const { return m_bands.kx * kSbrRateHz / (2 * kQmfBands); }

void SbrEncoder::choose_grid(std::span<const EnergySlot> energy) {
    std::array<float, kSbrFrameSlots> high{};
    for (int j = 0; j < kSbrFrameSlots; ++j) {
        float sum = 0.0F;
        for (int k = m_bands.kx; k < m_bands.k2; ++k)
            sum += energy[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)];
        high[static_cast<std::size_t>(j)] = sum;
    }
    int transient_slot = -1;
    for (int j = 0; j < kSbrFrameSlots; ++j) {
        const float e = high[static_cast<std::size_t>(j)];
        if (transient_slot < 0 && e > kMinTransientEnergy &&
            e > m_tuning.transient_factor * m_recent_energy)
            transient_slot = j;
        m_recent_energy += kRecentEnergyWeight * (e - m_recent_energy);
    }
    if (transient_slot >= 0) {
        set_transient_grid(transient_slot);
        return;
    }
    // Otherwise as many envelopes as the energy's course across the frame needs: the mean
    // distance in dB, per low-resolution band, between each quarter of the frame and the
    // envelope that would cover it.
    const auto& borders = m_bands.low;
    const int bands = m_bands.low_count();
    std::array<std::array<double, kMaxSbrBands>, 4> quarter_db{};
    for (int q = 0; q < 4; ++q) {
        for (int b = 0; b < bands; ++b) {
            double sum = 1.0;
            for (int j = q * 8; j < q * 8 + 8; ++j) {
                for (int k = borders[static_cast<std::size_t>(b)];
                     k < borders[static_cast<std::size_t>(b) + 1]; ++k)
                    sum += energy[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)];
            }
            quarter_db[static_cast<std::size_t>(q)][static_cast<std::size_t>(b)] =
                10.0 * std::log10(sum);
        }
    }
    // Deviation when quarters [first, first + count) share one envelope (its mean energy).
    const auto deviation = [&](int first, int count) {
        double total = 0.0;
        for (int b = 0; b < bands; ++b) {
            double linear = 0.0;
            for (int q = first; q < first + count; ++q)
                linear += std::pow(
                    10.0,
                    quarter_db[static_cast<std::size_t>(q)][static_cast<std::size_t>(b)] / 10.0);
            const double shared_db = 10.0 * std::log10(linear / count);
            for (int q = first; q < first + count; ++q)
                total +=
                    std::abs(quarter_db[static_cast<std::size_t>(q)][static_cast<std::size_t>(b)] -
                             shared_db);
        }
        return total / (4.0 * bands);
    };
    const bool quarters_differ = deviation(0, 2) + deviation(2, 2) > kMaxEnvelopeDeviationDb;
    const bool halves_differ = deviation(0, 4) > kMaxEnvelopeDeviationDb;
    m_frame.set_equal_envelopes(quarters_differ ? 4 : halves_differ ? 2 : 1);
}

void SbrEncoder::set_transient_grid(int transient_slot) {
    // A border on the even time slot at or before the attack; the transient's envelope starts
    // there and a short one before it keeps the attack's energy from smearing backwards.
    auto& frame = m_frame;
    const int border = 2 * (transient_slot / 4);
    if (border <= 8) {
        // VARFIX: borders counted from the frame's start.
        frame.frame_class = SbrFrameClass::kVarFix;
        if (border == 0) {
            frame.envelope_count = 2;
            frame.borders = {0, 4, 16};
            frame.pointer = 1;  // the transient's envelope is the first
        } else {
            frame.envelope_count = 3;
            frame.borders = {0, border, border + 4, 16};
            frame.pointer = 2;  // the second
        }
    } else {
        // FIXVAR: borders counted back from the frame's end.
        frame.frame_class = SbrFrameClass::kFixVar;
        frame.envelope_count = 3;
        frame.borders = {0, border - 4, border, 16};
        frame.pointer = 2;  // counted from the end: the last
    }
}

void SbrEncoder::estimate_envelopes(std::span<const EnergySlot> energy) {
    auto& frame = m_frame;
    // Three or four envelopes take the low-resolution table: time detail costs fewer bits so.
    frame.freq_res = frame.envelope_count >= 3 ? 0 : 1;
    frame.amp_res = frame.frame_class == SbrFrameClass::kFixFix && frame.envelope_count == 1
                        ? 0
                        : m_tuning.header.amp_res;
    const double alpha = frame.amp_res ? 1.0 : 2.0;
    const auto& borders = frame.freq_res ? m_bands.high : m_bands.low;
    for (int e = 0; e < frame.envelope_count; ++e) {
        const int first_slot = 2 * frame.borders[static_cast<std::size_t>(e)];
        const int slots_per_envelope =
            2 * frame.borders[static_cast<std::size_t>(e) + 1] - first_slot;
        for (std::size_t b = 0; b + 1 < borders.size(); ++b) {
            double sum = 0.0;
            for (int j = first_slot; j < first_slot + slots_per_envelope; ++j) {
                for (int k = borders[b]; k < borders[b + 1]; ++k)
                    sum += energy[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)];
            }
            const double mean =
                kEnergyScale * sum / (slots_per_envelope * (borders[b + 1] - borders[b]));
            const double value = alpha * std::log2(std::max(mean, 1e-3) / kEnvelopeReference);
            frame.envelope[static_cast<std::size_t>(e)][b] =
                std::max(0, static_cast<int>(std::lround(value)));
        }
    }
}

void SbrEncoder::estimate_noise_and_tonality(std::span<const EnergySlot> /*energy*/,
                                             std::span<const QmfSlot> signal) {
    auto& frame = m_frame;
    const int noise_bands = m_bands.noise_count();
    const int noise_envelopes = frame.noise_envelope_count();
    // The patches copy the top of the core band upwards; its tonality is what arrives.
    const int source_first = std::max(2, m_bands.kx - 12);
    const double source_gain =
        prediction_gain(signal.first(kSbrFrameSlots), source_first, m_bands.kx);
    for (int q = 0; q < noise_envelopes; ++q) {
        const int middle = 2 * frame.borders[static_cast<std::size_t>(frame.noise_middle_border())];
        const int first_slot = noise_envelopes == 1 || q == 0 ? 0 : middle;
        const int last_slot = noise_envelopes == 1 || q == 1 ? kSbrFrameSlots : middle;
        const auto slots = signal.subspan(static_cast<std::size_t>(first_slot),
                                          static_cast<std::size_t>(last_slot - first_slot));
        for (int b = 0; b < noise_bands; ++b) {
            const double gain = prediction_gain(slots, m_bands.noise[static_cast<std::size_t>(b)],
                                                m_bands.noise[static_cast<std::size_t>(b) + 1]);
            // A tone over noise with ratio T/N predicts with gain (T + N) / N, counted from what
            // noise alone reaches in these subbands.
            const double noise_to_tone = 1.0 / std::max(gain / kNoisePredictionGain - 1.0, 1e-4);
            const int value =
                static_cast<int>(std::lround(kNoiseFloorOffset - std::log2(noise_to_tone)));
            frame.noise[static_cast<std::size_t>(q)][static_cast<std::size_t>(b)] =
                std::clamp(value, 0, 30);
            if (q == 0) {
                // Whiten the patch as far as the source is more tonal than the original.
                const double excess_db = 10.0 * std::log10(source_gain / std::max(gain, 1.0));
                frame.invf_mode[static_cast<std::size_t>(b)] = excess_db < 3.0    ? 0
                                                               : excess_db < 8.0  ? 1
                                                               : excess_db < 14.0 ? 2
                                                                                  : 3;
            }
        }
    }
}

void SbrEncoder::detect_missing_harmonics(std::span<const QmfSlot> signal) {
    // A band whose energy sits in one strongly predictable subband holds a steady tone; the
    // patch rarely has one in the same place, so the decoder is asked to add a sine there
    // (it then turns the patch down to the noise floor's share). Hysteresis keeps a tone's
    // sine from flickering on and off between frames.
    const auto frame_slots = signal.first(kSbrFrameSlots);
    for (int b = 0; b < m_bands.high_count(); ++b) {
        const int first = m_bands.high[static_cast<std::size_t>(b)];
        const int last = m_bands.high[static_cast<std::size_t>(b) + 1];
        double total = 0.0, peak = 0.0;
        int peak_band = first;
        for (int k = first; k < last; ++k) {
            double e = 0.0;
            for (const auto& slot : frame_slots) e += std::norm(slot[static_cast<std::size_t>(k)]);
            total += e;
            if (e > peak) {
                peak = e;
                peak_band = k;
            }
        }
        const bool was_on = m_harmonic[static_cast<std::size_t>(b)] != 0;
        const double gain_db =
            10.0 *
            std::log10(std::max(prediction_gain(frame_slots, peak_band, peak_band + 1), 1.0));
        const bool tonal = total > kMinHarmonicEnergy && peak > kHarmonicShare * total &&
                           gain_db > (was_on ? kHarmonicOffDb : kHarmonicOnDb);
        m_harmonic[static_cast<std::size_t>(b)] = tonal ? 1 : 0;
    }
    m_frame.add_harmonic = m_harmonic;
}

std::vector<std::uint8_t> SbrEncoder::encode_frame(std::span<const EnergySlot> energy,
                                                   std::span<const QmfSlot> signal,
                                                   const BitWriter& extension) {
    m_frame = SbrFrameData{};
    choose_grid(energy);
    estimate_envelopes(energy);
    estimate_noise_and_tonality(energy, signal);
    detect_missing_harmonics(signal);
    // The header goes out with the first frame and then about every half second, so a decoder
    // joining mid-stream can start.
    const bool with_header = m_frames % 10 == 0;
    ++m_frames;
    return m_writer.write_payload(m_frame, with_header, extension);
}

}  // namespace heaac
