// A waveform picture drawn as a 2-bit palette PNG: the shaped columns as
// bars mirrored about the centre row, over a grey grid on black.
#pragma once

#include <cstdint>
#include <span>

namespace nb::external::audio {

// Palette indexes of the picture's pixels.
enum WaveformColour : std::uint8_t {
    kWaveformBackground = 0,
    kWaveformBar = 1,
    kWaveformGrid = 2,
    kWaveformUnused = 3,  // in the palette, on no pixel
};

struct WaveformPicture {
    int height = 0;
    // One shaped value (0 to 1) per column; the picture is as wide.
    std::span<const double> columns;
};

// Row row of the picture, packed four pixels to a byte, the first in the two
// highest bits; row must hold (width + 3) / 4 bytes. With half height M, a
// column's bar reaches d rows from the centre when value x M >= d: rows M - d
// above the centre and M + d below it (row M is always lit). Elsewhere rows
// that are multiples of 10, and columns that are multiples of width x 10 /
// 680, are grid; row 0 and column 0 never are.
void DrawWaveformRow(const WaveformPicture& picture, int row, std::span<std::uint8_t> packed);

// Writes the picture as a PNG to fd, rows top to bottom. False when libpng
// fails, a write failing included; fd then holds a partial file.
[[nodiscard]] bool WriteWaveformPng(int fd, const WaveformPicture& picture);

}  // namespace nb::external::audio
