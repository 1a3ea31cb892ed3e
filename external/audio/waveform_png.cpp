#include "external/audio/waveform_png.h"

#include <png.h>
#include <zlib.h>

#include <array>
#include <csetjmp>
#include <vector>

#include "platform/kernel/fd_io.h"

namespace nb::external::audio {
namespace {

constexpr int kBitDepth = 2;
constexpr unsigned kPixelsPerByte = 4;
constexpr int kGridEvery = 10;  // rows; and columns at width 680
constexpr std::size_t kGridBaseWidth = 680;

constexpr png_color kPalette[] = {
    {0, 0, 0},       // background
    {255, 227, 40},  // bar
    {80, 80, 80},    // grid
    {0, 0, 255},     // unused
};

std::size_t BytesForPixels(std::size_t width) {
    return (width + kPixelsPerByte - 1) / kPixelsPerByte;
}

// A byte of four pixels from two masks, the first pixel in bit 3 of each:
// bars (low four bits of the index) over grid (high four bits) over
// background.
constexpr std::array<std::uint8_t, 256> kPackedPixels = [] {
    std::array<std::uint8_t, 256> bytes{};
    for (unsigned index = 0; index < bytes.size(); ++index) {
        for (unsigned pixel = 0; pixel < kPixelsPerByte; ++pixel) {
            const unsigned bit = 1u << (kPixelsPerByte - 1 - pixel);
            const unsigned colour = (index & bit)                       ? kWaveformBar
                                    : ((index >> kPixelsPerByte) & bit) ? kWaveformGrid
                                                                        : kWaveformBackground;
            bytes[index] |= static_cast<std::uint8_t>(colour << (2 * (kPixelsPerByte - 1 - pixel)));
        }
    }
    return bytes;
}();

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
    png_uint_32 width = 0;
    int height = 0;
    const WaveformRows* rows = nullptr;
    std::vector<std::uint8_t>* row = nullptr;
};

// Every libpng call that may fail, behind the error jump. libpng's default
// error handler jumps back here, so this frame holds nothing that needs
// destroying, and nothing it reads after the jump changes before it.
bool WriteRows(WriteState& state) {
    if (setjmp(png_jmpbuf(state.png))) return false;
    png_set_write_fn(state.png, &state.fd, WriteToFd, FlushNothing);
    // Rows of long runs of one colour: run-length matching packs them a
    // little smaller than the default strategy, in two thirds of the time.
    png_set_compression_strategy(state.png, Z_RLE);
    png_set_IHDR(state.png, state.info, state.width, static_cast<png_uint_32>(state.height),
                 kBitDepth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(state.png, state.info, kPalette, static_cast<int>(std::size(kPalette)));
    png_write_info(state.png, state.info);
    for (int row = 0; row < state.height; ++row) {
        state.rows->Draw(row, *state.row);
        png_write_row(state.png, state.row->data());
    }
    png_write_end(state.png, state.info);
    return true;
}

}  // namespace

WaveformRows::WaveformRows(const WaveformPicture& picture)
    : m_half(picture.height / 2),
      m_reach(BytesForPixels(picture.columns.size()) * kPixelsPerByte, -1),
      m_columns_present(BytesForPixels(picture.columns.size()), 0),
      m_grid_columns(BytesForPixels(picture.columns.size()), 0) {
    const std::size_t width = picture.columns.size();
    // Width 680 has a grid column every 10, wider pictures proportionally
    // fewer of them per column; narrower than 68 columns there are none.
    const std::size_t grid_step = width * kGridEvery / kGridBaseWidth;
    for (std::size_t x = 0; x < width; ++x) {
        // value x M >= d for a whole d exactly when the product's whole
        // part is at least d.
        const double reach = picture.columns[x] * m_half;
        if (reach >= 0)
            m_reach[x] =
                static_cast<std::int8_t>(reach >= m_half ? m_half : static_cast<int>(reach));
        const auto bit = static_cast<std::uint8_t>(1u << (kPixelsPerByte - 1 - x % kPixelsPerByte));
        m_columns_present[x / kPixelsPerByte] |= bit;
        if (grid_step != 0 && x > 0 && x % grid_step == 0)
            m_grid_columns[x / kPixelsPerByte] |= bit;
    }
}

void WaveformRows::Draw(int row, std::span<std::uint8_t> packed) const {
    const int distance = row < m_half ? m_half - row : row - m_half;
    const bool grid_row = row > 0 && row % kGridEvery == 0;
    for (std::size_t byte = 0; byte < packed.size(); ++byte) {
        const std::int8_t* reach = &m_reach[byte * kPixelsPerByte];
        const unsigned bar = (reach[0] >= distance ? 8u : 0u) | (reach[1] >= distance ? 4u : 0u) |
                             (reach[2] >= distance ? 2u : 0u) | (reach[3] >= distance ? 1u : 0u);
        const unsigned grid = grid_row ? m_columns_present[byte] : m_grid_columns[byte];
        packed[byte] = kPackedPixels[bar | grid << kPixelsPerByte];
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
    const WaveformRows rows(picture);
    std::vector<std::uint8_t> row(rows.RowBytes());
    WriteState state{
        png,   info, fd, static_cast<png_uint_32>(picture.columns.size()), picture.height,
        &rows, &row};
    const bool written = WriteRows(state);
    png_destroy_write_struct(&png, &info);
    return written;
}

}  // namespace nb::external::audio
