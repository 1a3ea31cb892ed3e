// Waveform columns of any sound: byte 0 picks how many levels, bytes 1 to 4
// the length the header would announce, byte 5 where the sound is cut in
// two portions, the rest are the samples. The columns must not depend on
// the cut, every shaped value lies in 0..1, and the picture drawn from them
// is a PNG libpng reads back with the level's size, palette and shape: the
// centre row lit, bars mirrored about it and unbroken from it.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "external/audio/tests/png_pixels.h"
#include "external/audio/waveform_columns.h"
#include "external/audio/waveform_png.h"
#include "external/audio/waveform_shape.h"

namespace {

using namespace nb::external::audio;

constexpr std::size_t kHeaderBytes = 6;
// The widest picture drawn on each run; wider ones take too long to fuzz.
constexpr int kWidestDrawnLevel = 2;

void Check(bool condition) {
    if (!condition) std::abort();
}

std::vector<std::uint8_t> Contents(int fd) {
    std::vector<std::uint8_t> bytes;
    Check(lseek(fd, 0, SEEK_SET) == 0);
    std::uint8_t buffer[65536];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + got);
    return bytes;
}

void CheckPicture(int level, std::span<const double> columns) {
    const int fd = memfd_create("waveform", 0);
    Check(fd >= 0);
    const WaveformPicture picture{.height = WaveformHeight(level), .columns = columns};
    Check(WriteWaveformPng(fd, picture));
    const auto png = nb::external::audio::testing::ReadPng(Contents(fd));
    close(fd);
    Check(png.has_value());
    Check(png->width == columns.size() &&
          png->height == static_cast<std::uint32_t>(picture.height));
    Check(png->bit_depth == 2 && png->colour_type == 3 && png->palette.size() == 4);
    const int half = picture.height / 2;
    for (std::size_t x = 0; x < columns.size(); ++x) {
        Check(png->rows[half][x] == kWaveformBar);
        for (int distance = 1; distance <= half; ++distance) {
            const bool above = png->rows[half - distance][x] == kWaveformBar;
            if (distance < half) Check(above == (png->rows[half + distance][x] == kWaveformBar));
            if (above) Check(png->rows[half - distance + 1][x] == kWaveformBar);
        }
        for (int row = 0; row < picture.height; ++row) Check(png->rows[row][x] <= kWaveformGrid);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes) return 0;
    const int levels = 1 + data[0] % kWaveformLevels;
    std::uint32_t announced = 0;
    std::memcpy(&announced, data + 1, sizeof announced);
    std::vector<std::int16_t> samples((size - kHeaderBytes) / 2);
    if (!samples.empty()) std::memcpy(samples.data(), data + kHeaderBytes, samples.size() * 2);
    const std::size_t cut = samples.empty() ? 0 : data[5] * samples.size() / 256;

    WaveformColumns whole(levels, announced);
    whole.Add(samples);
    whole.Finish();
    WaveformColumns portions(levels, announced);
    portions.Add(std::span(samples).first(cut));
    portions.Add(std::span(samples).subspan(cut));
    portions.Finish();
    for (int track = 0; track < whole.tracks(); ++track) {
        const std::span<double> columns = whole.Columns(track);
        Check(std::memcmp(columns.data(), portions.Columns(track).data(),
                          columns.size() * sizeof(double)) == 0);
        ShapeColumns(columns, track == 0 ? BandBoost::On : BandBoost::Off);
        for (double value : columns) Check(value >= 0.0 && value <= 1.0);
    }
    for (int level = 0; level < levels && level <= kWidestDrawnLevel; ++level)
        CheckPicture(level, whole.Columns(WaveformTrack(level)));
    return 0;
}
