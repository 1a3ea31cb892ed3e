#include "external/audio/waveform_shape.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace nb::external::audio {
namespace {

// Columns either side of the centre in the contrast window.
constexpr std::size_t kReach = 4;

struct Band {
    double from;
    double boost;
};
// Highest first: a value takes the boost of the first band it reaches.
constexpr std::array<Band, 8> kBands{{{0.8, 0.18},
                                      {0.7, 0.14},
                                      {0.6, 0.12},
                                      {0.55, 0.1},
                                      {0.5, 0.09},
                                      {0.45, 0.07},
                                      {0.4, 0.05},
                                      {0.3, 0.02}}};

double BandBoostOf(double value) {
    for (const Band& band : kBands)
        if (value >= band.from) return band.boost;
    return 0.0;
}

double Contrasted(double value, double mean, BandBoost boost) {
    double shaped = mean < value ? value - value * std::log(mean / value)
                                 : value + value * std::log(value / mean);
    if (boost == BandBoost::On) {
        shaped -= 0.5 * mean;
        shaped += BandBoostOf(shaped);
    }
    return std::clamp(shaped, 0.0, 1.0);
}

// Each new value needs the old values of the four columns before it, which
// are already overwritten by then: they are kept aside, nearest first.
void Contrast(std::span<double> columns, BandBoost boost) {
    std::array<double, kReach> before{};
    const std::size_t width = columns.size();
    for (std::size_t i = 0; i < width; ++i) {
        const double value = columns[i];
        // The window's sum in a fixed order (the centre, the columns before
        // it nearest first, the centre again, the columns after it), so that
        // the result is the same to the last bit wherever it is worked out.
        double sum = value;
        std::size_t count = 1;
        for (std::size_t j = 1; j <= kReach && j <= i; ++j, ++count) sum += before[j - 1];
        for (std::size_t j = 0; j <= kReach && i + j < width; ++j, ++count) sum += columns[i + j];
        std::copy_backward(before.begin(), before.end() - 1, before.end());
        before[0] = value;
        if (value > 0.0) columns[i] = Contrasted(value, sum / static_cast<double>(count), boost);
    }
}

void Normalise(std::span<double> columns) {
    const double largest = *std::max_element(columns.begin(), columns.end());
    if (largest <= 0.0) return;
    for (double& column : columns) column = std::min(column / largest, 1.0);
}

}  // namespace

void ShapeColumns(std::span<double> columns, BandBoost boost) {
    if (columns.empty()) return;
    Contrast(columns, boost);
    Normalise(columns);
}

}  // namespace nb::external::audio
