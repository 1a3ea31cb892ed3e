// A waveform picture drawn as a 2-bit palette PNG: the shaped columns as
// bars mirrored about the centre row, over a grey grid on black.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

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

// The picture's rows, packed four pixels to a byte, the first in the two
// highest bits, a short last byte padded with background. With half height
// M, a column's bar reaches d rows from the centre when value x M >= d: rows
// M - d above it and M + d below (row M is always lit). Elsewhere rows that
// are multiples of 10, and columns that are multiples of width x 10 / 680,
// are grid; row 0 and column 0 never are.
class WaveformRows {
   public:
    explicit WaveformRows(const WaveformPicture& picture);

    std::size_t RowBytes() const { return m_grid_columns.size(); }
    // Fills packed (RowBytes() long) with row row.
    void Draw(int row, std::span<std::uint8_t> packed) const;

   private:
    int m_half;
    // Per column (padded to whole bytes), the farthest row distance its bar
    // reaches, -1 for none (the pictures are far less than 256 rows high).
    std::vector<std::int8_t> m_reach;
    // Per byte, which of its four pixels are real columns and which of
    // them are grid columns, the first pixel in bit 3.
    std::vector<std::uint8_t> m_columns_present;
    std::vector<std::uint8_t> m_grid_columns;
};

// Writes the picture as a PNG to fd, rows top to bottom. False when libpng
// fails, a write failing included; fd then holds a partial file.
[[nodiscard]] bool WriteWaveformPng(int fd, const WaveformPicture& picture);

}  // namespace nb::external::audio
