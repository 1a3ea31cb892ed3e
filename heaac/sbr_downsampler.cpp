#include "heaac/sbr_downsampler.h"

#include <cmath>
#include <numbers>

#include "heaac/kaiser.h"

namespace heaac {
namespace {

constexpr double kKaiserBeta = 8.0;

}  // namespace

Downsampler::Downsampler() : m_odd_taps((kTaps - 1) / 4), m_history(kTaps - 1, 0.0F) {
    constexpr int half = (kTaps - 1) / 2;
    // Half-band: sin(pi t / 2) / (pi t), zero at even t other than the centre.
    double sum = 0.5;
    std::vector<double> taps(m_odd_taps.size());
    for (std::size_t j = 0; j < taps.size(); ++j) {
        const double t = 2.0 * static_cast<double>(j) + 1.0;
        const double r = t / half;
        const double window = kaiser(r, kKaiserBeta);
        taps[j] = std::sin(std::numbers::pi * t / 2.0) / (std::numbers::pi * t) * window;
        sum += 2.0 * taps[j];
    }
    m_centre_tap = static_cast<float>(0.5 / sum);
    for (std::size_t j = 0; j < taps.size(); ++j) m_odd_taps[j] = static_cast<float>(taps[j] / sum);
}

void Downsampler::process(std::span<const float> input, std::span<float> output) {
    constexpr int half = (kTaps - 1) / 2;
    m_history.insert(m_history.end(), input.begin(), input.end());
    for (std::size_t i = 0; i < output.size() && 2 * i < input.size(); ++i) {
        const float* centre = m_history.data() + 2 * i + half;
        float sum = m_centre_tap * centre[0];
        for (std::size_t j = 0; j < m_odd_taps.size(); ++j) {
            const auto t = static_cast<std::ptrdiff_t>(2 * j + 1);
            sum += m_odd_taps[j] * (centre[-t] + centre[t]);
        }
        output[i] = sum;
    }
    m_history.erase(m_history.begin(), m_history.end() - (kTaps - 1));
}

}  // namespace heaac
