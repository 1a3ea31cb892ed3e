#include "external/audio/waveform_png.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <vector>

#include "platform/kernel/fd_io.h"

namespace nb::external::audio {
namespace {

constexpr int kBitDepth = 2;
constexpr int kPixelsPerByte = 4;
constexpr int kGridEvery = 10;  // rows; and columns at width 680
constexpr std::size_t kGridBaseWidth = 680;

constexpr png_color kPalette[] = {
    {0, 0, 0},       // background
    {255, 227, 40},  // bar
    {80, 80, 80},    // grid
    {0, 0, 255},     // unused
};

std::size_t RowBytes(std::size_t width) { return (width + kPixelsPerByte - 1) / kPixelsPerByte; }

// libpng's write callback: a failed write is a libpng error, which ends the
// picture through its error jump.
void WriteToFd(png_structp png, png_bytep data, png_size_t length) {
    const int fd = *static_cast<const int*>(png_get_io_ptr(png));
    if (!WriteFully(fd, data, length)) png_error(png, "write failed");
}

void FlushNothing(png_structp) {}

struct WriteState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    int fd = -1;
    const WaveformPicture* picture = nullptr;
    std::vector<std::uint8_t>* row = nullptr;
};

// Every libpng call that may fail, behind the error jump. libpng's default
// error handler jumps back here, so this frame holds nothing that needs
// destroying, and nothing it reads after the jump changes before it.
bool WriteRows(WriteState& state) {
    if (setjmp(png_jmpbuf(state.png))) return false;
    png_set_write_fn(state.png, &state.fd, WriteToFd, FlushNothing);
    const auto width = static_cast<png_uint_32>(state.picture->columns.size());
    png_set_IHDR(state.png, state.info, width, static_cast<png_uint_32>(state.picture->height),
                 kBitDepth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(state.png, state.info, kPalette, static_cast<int>(std::size(kPalette)));
    png_write_info(state.png, state.info);
    for (int row = 0; row < state.picture->height; ++row) {
        DrawWaveformRow(*state.picture, row, *state.row);
        png_write_row(state.png, state.row->data());
    }
    png_write_end(state.png, state.info);
    return true;
}

}  // namespace

void DrawWaveformRow(const WaveformPicture& picture, int row, std::span<std::uint8_t> packed) {
    const int half = picture.height / 2;
    const double distance = row < half ? half - row : row - half;
    const bool grid_row = row > 0 && row % kGridEvery == 0;
    const std::size_t width = picture.columns.size();
    // Width 680 has a grid column every 10, wider pictures proportionally
    // fewer of them per column. Narrower than 68 columns there are none.
    const std::size_t grid_step = width * kGridEvery / kGridBaseWidth;
    std::fill(packed.begin(), packed.end(), std::uint8_t{0});
    std::size_t to_grid = grid_step;  // columns until the next grid column
    for (std::size_t x = 0; x < width; ++x, --to_grid) {
        const bool grid_column = grid_step != 0 && x > 0 && to_grid == 0;
        if (grid_column) to_grid = grid_step;
        std::uint8_t colour = kWaveformBackground;
        if (picture.columns[x] * half >= distance)
            colour = kWaveformBar;
        else if (grid_row || grid_column)
            colour = kWaveformGrid;
        const int shift = 2 * (kPixelsPerByte - 1 - static_cast<int>(x % kPixelsPerByte));
        packed[x / kPixelsPerByte] |= static_cast<std::uint8_t>(colour << shift);
    }
}

bool WriteWaveformPng(int fd, const WaveformPicture& picture) {
    // No handlers of our own: libpng reports on stderr and takes its jump.
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<std::uint8_t> row(RowBytes(picture.columns.size()));
    WriteState state{png, info, fd, &picture, &row};
    const bool written = WriteRows(state);
    png_destroy_write_struct(&png, &info);
    return written;
}

}  // namespace nb::external::audio
