#pragma once
// Bit counting and writing of quantised spectral values with the eleven AAC codebooks.
#include <limits>
#include <span>

#include "heaac/bit_writer.h"

namespace heaac {

inline constexpr int kUncodableBits = std::numeric_limits<int>::max() / 4;
inline constexpr int kMaxQuantizedMagnitude = 8191;

// Largest magnitude codebook `codebook` can carry (escape codebook: 8191).
int codebook_max_magnitude(int codebook);

// Bits that `values` cost in `codebook` (codeword, sign and escape bits), or kUncodableBits
// when a value does not fit. Codebook 0 costs nothing and fits only all-zero values.
// The value count must be a multiple of four (codebooks 1 to 4) or two.
int count_spectrum_bits(int codebook, std::span<const int> values);

// Bits of `values` in the odd codebook `first` (1, 3, 5, 7 or 9) and in `first + 1`, which
// share dimension, signedness and range, counted in one pass; as count_spectrum_bits.
struct CodebookPairBits {
    int first_bits;
    int second_bits;
};
CodebookPairBits count_spectrum_bits_pair(int first, std::span<const int> values);

void write_spectrum(BitWriter& writer, int codebook, std::span<const int> values);

// Scalefactor differences in [-60, 60] (ISO/IEC 14496-3 Table 4.A.1).
int scalefactor_delta_bits(int delta);
void write_scalefactor_delta(BitWriter& writer, int delta);

}  // namespace heaac
