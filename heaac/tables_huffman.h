#pragma once
// Huffman codebooks of AAC noiseless coding (ISO/IEC 14496-3, Tables 4.A.1 to 4.A.12).
#include <array>
#include <cstdint>
#include <span>

namespace heaac {

struct HuffmanCode {
    std::uint32_t codeword;
    std::uint8_t length_bits;
};

inline constexpr int kScalefactorCodebookSize = 121;
inline constexpr int kScalefactorIndexOffset = 60;  // index of a difference of zero
inline constexpr int kEscapeCodebook = 11;
inline constexpr int kMaxSpectrumCodebook = 11;

// Scalefactor difference codebook, indexed by difference + 60.
std::span<const HuffmanCode> scalefactor_codebook();

// Spectral codebook 1..11 in the standard's index order; empty for any other number.
std::span<const HuffmanCode> spectrum_codebook(int codebook);

}  // namespace heaac
