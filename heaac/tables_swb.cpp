// Scalefactor band offsets from ISO/IEC 14496-3 Tables 4.129 to 4.131 (swb_offset_long_window
// and swb_offset_short_window) and sampling frequency indices from Table 1.18.
#include "heaac/tables_swb.h"

#include <array>

namespace heaac {
namespace {

// 44.1 and 48 kHz, long windows: 49 bands (Table 4.129).
constexpr std::array<std::uint16_t, 50> kLongOffsets48k{
    0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,  72,  80,  88,
    96,  108, 120, 132, 144, 160, 176, 196, 216, 240, 264, 292, 320, 352, 384, 416, 448,
    480, 512, 544, 576, 608, 640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 1024};

// 32 kHz, long windows: 51 bands (Table 4.129).
constexpr std::array<std::uint16_t, 52> kLongOffsets32k{
    0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,  72,  80,  88,  96,
    108, 120, 132, 144, 160, 176, 196, 216, 240, 264, 292, 320, 352, 384, 416, 448, 480, 512,
    544, 576, 608, 640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 960, 992, 1024};

// 32 to 48 kHz, short windows: 14 bands (Table 4.130).
constexpr std::array<std::uint16_t, 15> kShortOffsets48k{0,  4,  8,  12, 16, 20,  28, 36,
                                                         44, 56, 68, 80, 96, 112, 128};

// 22.05 and 24 kHz, long windows: 47 bands (Table 4.131).
constexpr std::array<std::uint16_t, 48> kLongOffsets24k{
    0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  52,  60,  68,  76,
    84,  92,  100, 108, 116, 124, 136, 148, 160, 172, 188, 204, 220, 240, 260, 284,
    308, 336, 364, 396, 432, 468, 508, 552, 600, 652, 704, 768, 832, 896, 960, 1024};

// 22.05 and 24 kHz, short windows: 15 bands (Table 4.131).
constexpr std::array<std::uint16_t, 16> kShortOffsets24k{0,  4,  8,  12, 16, 20, 24,  28,
                                                         36, 44, 52, 64, 76, 92, 108, 128};

}  // namespace

std::optional<BandLayout> band_layout_for_rate(int rate_hz) {
    switch (rate_hz) {
        case 48000:
            return BandLayout{kLongOffsets48k, kShortOffsets48k, 3};
        case 44100:
            return BandLayout{kLongOffsets48k, kShortOffsets48k, 4};
        case 32000:
            return BandLayout{kLongOffsets32k, kShortOffsets48k, 5};
        case 24000:
            return BandLayout{kLongOffsets24k, kShortOffsets24k, 6};
        case 22050:
            return BandLayout{kLongOffsets24k, kShortOffsets24k, 7};
        default:
            return std::nullopt;
    }
}

}  // namespace heaac
