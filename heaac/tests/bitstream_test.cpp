#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "heaac/bit_writer.h"
#include "heaac/spectrum_huffman.h"
#include "heaac/tables_huffman.h"

namespace heaac {
namespace {

// A transcription error in a codebook shows as a code that is not complete or not prefix-free.
void expect_complete_prefix_code(std::span<const HuffmanCode> codes) {
    double kraft_sum = 0.0;
    for (const auto& code : codes) kraft_sum += std::ldexp(1.0, -code.length_bits);
    EXPECT_DOUBLE_EQ(kraft_sum, 1.0);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        for (std::size_t j = 0; j < codes.size(); ++j) {
            if (i == j || codes[i].length_bits > codes[j].length_bits) continue;
            const auto prefix = codes[j].codeword >> (codes[j].length_bits - codes[i].length_bits);
            EXPECT_NE(prefix, codes[i].codeword) << "entry " << i << " prefixes entry " << j;
        }
    }
}

TEST(HuffmanTables, EveryCodebookIsACompletePrefixCode) {
    expect_complete_prefix_code(scalefactor_codebook());
    for (int cb = 1; cb <= kMaxSpectrumCodebook; ++cb) {
        SCOPED_TRACE(cb);
        expect_complete_prefix_code(spectrum_codebook(cb));
    }
}

TEST(BitWriter, PacksMostSignificantBitFirstAndPatches) {
    BitWriter writer;
    writer.write(0b101, 3);
    writer.write(0x1F, 5);
    writer.write(0xABC, 12);
    writer.patch(0, 0b010, 3);
    writer.align_to_byte();
    EXPECT_EQ(writer.bytes(), (std::vector<std::uint8_t>{0x5F, 0xAB, 0xC0}));
}

TEST(SpectrumHuffman, CountedBitsMatchWrittenBits) {
    struct Case {
        int codebook;
        std::vector<int> values;
    };
    const std::vector<Case> cases = {
        {1, {1, -1, 0, 1}}, {2, {0, 0, 0, 0, -1, 1, 1, -1}},
        {4, {2, 0, -2, 1}}, {6, {-4, 3}},
        {8, {7, -7, 0, 5}}, {10, {12, -11}},
        {11, {15, -16}},    {11, {8191, -17}},
        {11, {0, 300}},
    };
    for (const auto& c : cases) {
        BitWriter writer;
        write_spectrum(writer, c.codebook, c.values);
        EXPECT_EQ(writer.bit_count(), count_spectrum_bits(c.codebook, c.values))
            << "codebook " << c.codebook;
    }
    for (const auto& c : cases) {
        if (c.codebook == kEscapeCodebook) continue;
        const int first = c.codebook - (c.codebook + 1) % 2;  // the odd codebook of the pair
        const auto pair = count_spectrum_bits_pair(first, c.values);
        EXPECT_EQ(pair.first_bits, count_spectrum_bits(first, c.values)) << "codebook " << first;
        EXPECT_EQ(pair.second_bits, count_spectrum_bits(first + 1, c.values))
            << "codebook " << first + 1;
    }
    EXPECT_EQ(count_spectrum_bits_pair(3, std::vector<int>{3, 0, 0, 0}).second_bits,
              kUncodableBits);
    EXPECT_EQ(count_spectrum_bits(1, std::vector<int>{2, 0, 0, 0}), kUncodableBits);
    EXPECT_EQ(count_spectrum_bits(0, std::vector<int>{0, 1}), kUncodableBits);
    EXPECT_EQ(count_spectrum_bits(0, std::vector<int>{0, 0}), 0);
}

}  // namespace
}  // namespace heaac
