#include "external/audio/tests/waveform_reference.h"

#include <cmath>

namespace nb::external::audio::testing {
namespace {

int Width(int level) { return level <= 1 ? 680 : 680 * (1 << (level - 1)); }
int Height(int level) { return level == 0 ? 24 : 80; }

double Value(double sum, double squares, double per_column) {
    const double mean = sum / per_column;
    double variance = squares / per_column - mean * mean;
    if (variance < 0) variance = 0;  // rounding, for a column without spread
    return std::log10(19 * std::sqrt(variance) + 1) / std::log10(20.0);
}

std::vector<double> Columns(const Samples& samples, std::uint32_t data_bytes, int width) {
    const std::uint64_t sound = data_bytes / 2;
    const std::uint64_t per_column = sound / width + 1;
    std::vector<double> columns(width + 1, 0.0);
    double sum = 0, squares = 0;
    std::size_t counter = 0;
    for (std::uint64_t i = 0; i < sound && i < samples.size(); ++i) {
        const double v = samples[i] / 32767.0;
        sum += v;
        squares += v * v;
        if (i > 0 && i % per_column == 0) {
            columns[counter++] = Value(sum, squares, static_cast<double>(per_column));
            sum = squares = 0;
        }
    }
    if (counter < static_cast<std::size_t>(width))
        columns[counter] = Value(sum, squares, static_cast<double>(per_column));
    columns.resize(width);
    return columns;
}

double Boosted(double y) {
    if (y >= 0.8) return y + 0.18;
    if (y >= 0.7) return y + 0.14;
    if (y >= 0.6) return y + 0.12;
    if (y >= 0.55) return y + 0.1;
    if (y >= 0.5) return y + 0.09;
    if (y >= 0.45) return y + 0.07;
    if (y >= 0.4) return y + 0.05;
    if (y >= 0.3) return y + 0.02;
    return y;
}

std::vector<double> Shaped(const std::vector<double>& old, int level) {
    const int width = static_cast<int>(old.size());
    std::vector<double> shaped = old;
    for (int i = 0; i < width; ++i) {
        const double x = old[i];
        if (x <= 0) continue;
        double sum = 0;
        int count = 0;
        for (int j = 0; j <= 4; ++j)
            if (i - j >= 0) sum += old[i - j], ++count;
        for (int j = 0; j <= 4; ++j)
            if (i + j < width) sum += old[i + j], ++count;
        const double m = sum / count;
        double y = m < x ? x - x * std::log(m / x) : x + x * std::log(x / m);
        if (level <= 1) y = Boosted(y - 0.5 * m);
        if (y < 0) y = 0;
        if (y > 1) y = 1;
        shaped[i] = y;
    }
    double largest = 0;
    for (double y : shaped)
        if (y > largest) largest = y;
    if (largest > 0)
        for (double& y : shaped) {
            y /= largest;
            if (y > 1) y = 1;
        }
    return shaped;
}

ReferencePicture Draw(const std::vector<double>& values, int level) {
    ReferencePicture picture{Width(level), Height(level), {}};
    const int half = picture.height / 2;
    const int grid = picture.width * 10 / 680;
    for (int j = 0; j < picture.height; ++j) {
        std::vector<std::uint8_t> row(picture.width);
        for (int x = 0; x < picture.width; ++x) {
            const double h = values[x] * half;
            const bool bar = j < half ? h >= half - j : h >= j - half;
            if (bar)
                row[x] = 1;
            else if ((j > 0 && j % 10 == 0) || (x > 0 && x % grid == 0))
                row[x] = 2;
        }
        picture.rows.push_back(row);
    }
    return picture;
}

}  // namespace

ReferencePicture ReferenceWaveform(const Samples& samples, std::uint32_t data_bytes, int level) {
    return Draw(Shaped(Columns(samples, data_bytes, Width(level)), level), level);
}

ReferencePicture EmptyWaveform(int level) {
    return Draw(std::vector<double>(Width(level), 0.0), level);
}

}  // namespace nb::external::audio::testing
