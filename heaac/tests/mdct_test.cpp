#include "heaac/mdct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace heaac {
namespace {

// The decoder's inverse transform: y[n] = 2/(2N) sum X[k] cos(pi/N (n + n0)(k + 1/2)).
std::vector<double> inverse_mdct(const std::vector<float>& coefficients) {
    const int n_lines = static_cast<int>(coefficients.size());
    std::vector<double> output(2 * coefficients.size());
    const double n0 = (n_lines + 1) / 2.0;
    for (int n = 0; n < 2 * n_lines; ++n) {
        double sum = 0.0;
        for (int k = 0; k < n_lines; ++k) {
            sum += coefficients[static_cast<std::size_t>(k)] *
                   std::cos(std::numbers::pi / n_lines * (n + n0) * (k + 0.5));
        }
        output[static_cast<std::size_t>(n)] = sum / n_lines;
    }
    return output;
}

class MdctReconstruction : public ::testing::TestWithParam<int> {};

// Two overlapping sine-windowed frames must add back to the input in their shared half, which
// checks the fast transform's values and its scaling against the decoder's inverse.
TEST_P(MdctReconstruction, OverlapAddRestoresTheInput) {
    const int n_lines = GetParam();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> sample(-1000.0F, 1000.0F);
    std::vector<float> input(static_cast<std::size_t>(3 * n_lines));
    for (auto& x : input) x = sample(random);
    std::vector<float> window(static_cast<std::size_t>(2 * n_lines));
    for (std::size_t n = 0; n < window.size(); ++n) {
        window[n] = static_cast<float>(
            std::sin(std::numbers::pi * (static_cast<double>(n) + 0.5) / (2.0 * n_lines)));
    }
    Mdct mdct(n_lines);
    std::vector<std::vector<double>> outputs;
    for (int frame = 0; frame < 2; ++frame) {
        std::vector<float> windowed(window.size());
        for (std::size_t n = 0; n < window.size(); ++n)
            windowed[n] = input[static_cast<std::size_t>(frame * n_lines) + n] * window[n];
        std::vector<float> coefficients(static_cast<std::size_t>(n_lines));
        mdct.forward(windowed, coefficients);
        outputs.push_back(inverse_mdct(coefficients));
    }
    for (int n = 0; n < n_lines; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const double rebuilt = outputs[0][i + static_cast<std::size_t>(n_lines)] *
                                   window[i + static_cast<std::size_t>(n_lines)] +
                               outputs[1][i] * window[i];
        ASSERT_NEAR(rebuilt, input[i + static_cast<std::size_t>(n_lines)], 0.05) << "sample " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(LongAndShort, MdctReconstruction, ::testing::Values(1024, 128));

}  // namespace
}  // namespace heaac
