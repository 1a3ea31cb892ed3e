// A PNG file read back through libpng for the tests and the fuzz target: its
// header, its palette and every pixel as a palette index, one byte each.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nb::external::audio::testing {

struct PngPixels {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bit_depth = 0;
    int colour_type = 0;
    int interlace = 0;
    std::vector<std::array<std::uint8_t, 3>> palette;
    std::vector<std::vector<std::uint8_t>> rows;  // palette indexes, unpacked
};

// Nothing when libpng cannot read the bytes as a whole PNG.
std::optional<PngPixels> ReadPng(const std::vector<std::uint8_t>& bytes);
std::optional<PngPixels> ReadPngFile(const std::string& path);

}  // namespace nb::external::audio::testing
