#include "external/audio/tests/png_pixels.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <fstream>
#include <iterator>

namespace nb::external::audio::testing {
namespace {

struct Source {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at = 0;
};

void ReadFromMemory(png_structp png, png_bytep data, png_size_t length) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->bytes->size() - source->at) png_error(png, "truncated");
    std::memcpy(data, source->bytes->data() + source->at, length);
    source->at += length;
}

void Quiet(png_structp, png_const_charp) {}
void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Everything that may fail behind the error jump, into pixels.
bool Decode(png_structp png, png_infop info, Source& source, PngPixels& pixels) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &source, ReadFromMemory);
    png_read_info(png, info);
    pixels.width = png_get_image_width(png, info);
    pixels.height = png_get_image_height(png, info);
    pixels.bit_depth = png_get_bit_depth(png, info);
    pixels.colour_type = png_get_color_type(png, info);
    pixels.interlace = png_get_interlace_type(png, info);
    png_colorp palette = nullptr;
    int entries = 0;
    if (png_get_PLTE(png, info, &palette, &entries) & PNG_INFO_PLTE)
        for (int i = 0; i < entries; ++i)
            pixels.palette.push_back({palette[i].red, palette[i].green, palette[i].blue});
    // One byte per pixel, the index itself.
    if (pixels.bit_depth < 8) png_set_packing(png);
    png_read_update_info(png, info);
    const png_size_t row_bytes = png_get_rowbytes(png, info);
    pixels.rows.assign(pixels.height, std::vector<std::uint8_t>(row_bytes));
    for (auto& row : pixels.rows) png_read_row(png, row.data(), nullptr);
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

std::optional<PngPixels> ReadPng(const std::vector<std::uint8_t>& bytes) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (!png) return std::nullopt;
    png_infop info = png_create_info_struct(png);
    Source source{&bytes};
    PngPixels pixels;
    const bool decoded = info && Decode(png, info, source, pixels);
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!decoded) return std::nullopt;
    return pixels;
}

std::optional<PngPixels> ReadPngFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    return ReadPng(bytes);
}

}  // namespace nb::external::audio::testing
