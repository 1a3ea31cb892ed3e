#pragma once
// Code tables of spectral band replication and parametric stereo, transcribed as data from
// ISO/IEC 14496-3 (Annex 4.A for SBR, Annex 8.B for parametric stereo), and the grids they
// quantise on.
#include <array>
#include <cstdint>

namespace heaac {

struct HuffmanCode {
    std::uint32_t code;
    std::uint8_t length;
};

// SBR envelope and noise floor deltas; the index is the delta plus half the table size.
extern const std::array<HuffmanCode, 121> kEnvelopeTime15;
extern const std::array<HuffmanCode, 121> kEnvelopeFreq15;
extern const std::array<HuffmanCode, 63> kEnvelopeTime30;
extern const std::array<HuffmanCode, 63> kEnvelopeFreq30;
extern const std::array<HuffmanCode, 63> kNoiseTime30;

// Parametric stereo deltas for the default (coarse) level-difference grid and the coherence grid.
extern const std::array<HuffmanCode, 29> kIidFreqCoarse;
extern const std::array<HuffmanCode, 29> kIidTimeCoarse;
extern const std::array<HuffmanCode, 15> kIccFreq;
extern const std::array<HuffmanCode, 15> kIccTime;

// Coarse inter-channel level difference grid in dB, index -7..7 (ISO/IEC 14496-3, 8.6.4.5).
inline constexpr std::array<float, 15> kIidGridDb = {-25, -18, -14, -10, -7, -4, -2, 0,
                                                     2,   4,   7,   10,  14, 18, 25};
// Inter-channel coherence grid, index 0..7.
inline constexpr std::array<float, 8> kIccGrid = {1.0F,     0.937F, 0.84118F, 0.60092F,
                                                  0.36764F, 0.0F,   -0.589F,  -1.0F};

}  // namespace heaac
