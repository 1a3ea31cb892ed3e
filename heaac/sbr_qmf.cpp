// The analysis folds the 640 windowed samples to 128 with the modulation's period, turns them
// with a quarter-band pre-rotation and takes one 128-point FFT per slot.
#include "heaac/sbr_qmf.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "heaac/kaiser.h"

namespace heaac {
namespace {

constexpr int kFolded = 2 * kQmfBands;
constexpr double kKaiserBeta = 9.0;

// Kaiser-windowed sinc with its cut-off at half the band spacing, unit gain at DC.
std::array<float, kQmfPrototypeTaps> design_prototype() {
    std::array<double, kQmfPrototypeTaps> taps{};
    const double centre = (kQmfPrototypeTaps - 1) / 2.0;
    const double cutoff = std::numbers::pi / kFolded;
    double sum = 0.0;
    for (int m = 0; m < kQmfPrototypeTaps; ++m) {
        const double t = m - centre;
        const double sinc = std::sin(cutoff * t) / (std::numbers::pi * t);
        const double r = t / (centre + 1.0);
        const double window = kaiser(r, kKaiserBeta);
        taps[static_cast<std::size_t>(m)] = sinc * window;
        sum += taps[static_cast<std::size_t>(m)];
    }
    std::array<float, kQmfPrototypeTaps> prototype{};
    for (int m = 0; m < kQmfPrototypeTaps; ++m) {
        prototype[static_cast<std::size_t>(m)] =
            static_cast<float>(taps[static_cast<std::size_t>(m)] / sum);
    }
    return prototype;
}

struct AnalysisTables {
    std::array<float, kQmfPrototypeTaps> prototype = design_prototype();
    std::array<std::complex<float>, kFolded> pre_rotation{};
    ComplexFft fft{kFolded};
    AnalysisTables() {
        for (int n = 0; n < kFolded; ++n) {
            pre_rotation[static_cast<std::size_t>(n)] =
                std::polar(1.0F, static_cast<float>(std::numbers::pi * n / kFolded));
        }
    }
};

const AnalysisTables& tables() {
    static const AnalysisTables instance;
    return instance;
}

}  // namespace

ComplexFft::ComplexFft(int length)
    : m_length(length),
      m_twiddle(static_cast<std::size_t>(length / 2)),
      m_bit_reverse(static_cast<std::size_t>(length)) {
    for (int n = 0; n < length / 2; ++n) {
        m_twiddle[static_cast<std::size_t>(n)] =
            std::polar(1.0F, static_cast<float>(2.0 * std::numbers::pi * n / length));
    }
    int bits = 0;
    while ((1 << bits) < length) ++bits;
    for (int n = 0; n < length; ++n) {
        int reversed = 0;
        for (int b = 0; b < bits; ++b) reversed |= ((n >> b) & 1) << (bits - 1 - b);
        m_bit_reverse[static_cast<std::size_t>(n)] = reversed;
    }
}

void ComplexFft::inverse(std::span<std::complex<float>> data) const {
    for (int n = 0; n < m_length; ++n) {
        const int r = m_bit_reverse[static_cast<std::size_t>(n)];
        if (r > n) std::swap(data[static_cast<std::size_t>(n)], data[static_cast<std::size_t>(r)]);
    }
    // Real arithmetic: std::complex multiplication checks for infinities on every product.
    auto* values = reinterpret_cast<float*>(data.data());
    const auto* twiddles = reinterpret_cast<const float*>(m_twiddle.data());
    for (int span = 2; span <= m_length; span *= 2) {
        const int stride = m_length / span;
        const int half = span / 2;
        for (int block = 0; block < m_length; block += span) {
            for (int i = 0; i < half; ++i) {
                float* even = values + 2 * (block + i);
                float* odd = values + 2 * (block + i + half);
                const float wr = twiddles[2 * i * stride];
                const float wi = twiddles[2 * i * stride + 1];
                const float rr = odd[0] * wr - odd[1] * wi;
                const float ri = odd[0] * wi + odd[1] * wr;
                odd[0] = even[0] - rr;
                odd[1] = even[1] - ri;
                even[0] += rr;
                even[1] += ri;
            }
        }
    }
}

QmfAnalysis::QmfAnalysis() : m_history(kQmfPrototypeTaps, 0.0F) { (void)tables(); }

void QmfAnalysis::process(std::span<const float, kQmfBands> samples, QmfSlot& slot) {
    const auto& t = tables();
    std::copy(m_history.begin() + kQmfBands, m_history.end(), m_history.begin());
    std::copy(samples.begin(), samples.end(), m_history.end() - kQmfBands);
    // Tap m weighs the sample m steps back; one modulation period spans 128 taps and flips
    // the sign every 128 because the band centres sit on odd multiples of pi / 128.
    const float* newest = m_history.data() + kQmfPrototypeTaps - 1;
    for (int n = 0; n < kFolded; ++n) {
        float sum = 0.0F;
        for (int j = 0; j < kQmfPrototypeTaps / kFolded; ++j) {
            const int m = n + kFolded * j;
            const float term = newest[-m] * t.prototype[static_cast<std::size_t>(m)];
            sum += (j & 1) ? -term : term;
        }
        m_work[static_cast<std::size_t>(n)] = sum * t.pre_rotation[static_cast<std::size_t>(n)];
    }
    t.fft.inverse(m_work);
    std::copy_n(m_work.begin(), kQmfBands, slot.begin());
}

}  // namespace heaac
