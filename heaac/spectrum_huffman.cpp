#include "heaac/spectrum_huffman.h"

#include <array>
#include <cstdlib>

#include "heaac/tables_huffman.h"

namespace heaac {
namespace {

struct CodebookShape {
    int dimension;
    bool is_signed;
    int max_magnitude;  // largest absolute value the codeword itself carries
};

// Dimension, signedness and largest codeword magnitude of each spectrum codebook, as listed
// in ISO/IEC 14496-3 (Huffman codebook parameters, 4.6.3); index 0 is unused.
constexpr std::array<CodebookShape, 12> kShapes{{{4, true, 0},
                                                 {4, true, 1},
                                                 {4, true, 1},
                                                 {4, false, 2},
                                                 {4, false, 2},
                                                 {2, true, 4},
                                                 {2, true, 4},
                                                 {2, false, 7},
                                                 {2, false, 7},
                                                 {2, false, 12},
                                                 {2, false, 12},
                                                 {2, false, 16}}};

constexpr int kEscapeMagnitude = 16;

int codeword_index(const CodebookShape& shape, std::span<const int> tuple) {
    const int base = shape.is_signed ? 2 * shape.max_magnitude + 1 : shape.max_magnitude + 1;
    int index = 0;
    for (int value : tuple) {
        const int magnitude = std::min(std::abs(value), shape.max_magnitude);
        index = index * base + (shape.is_signed ? value + shape.max_magnitude : magnitude);
    }
    return index;
}

// Escape sequence length for a magnitude of 16 or more: (N - 4) ones, a zero, N bits.
int escape_bits(int magnitude) {
    int exponent = 4;
    while ((magnitude >> (exponent + 1)) != 0) ++exponent;
    return 2 * exponent - 3;
}

void write_escape(BitWriter& writer, int magnitude) {
    int exponent = 4;
    while ((magnitude >> (exponent + 1)) != 0) ++exponent;
    for (int i = 4; i < exponent; ++i) writer.write(1, 1);
    writer.write(0, 1);
    writer.write(static_cast<std::uint32_t>(magnitude - (1 << exponent)), exponent);
}

}  // namespace

int codebook_max_magnitude(int codebook) {
    if (codebook == kEscapeCodebook) return kMaxQuantizedMagnitude;
    return kShapes[static_cast<std::size_t>(codebook)].max_magnitude;
}

int count_spectrum_bits(int codebook, std::span<const int> values) {
    if (codebook == 0) {
        for (int value : values) {
            if (value != 0) return kUncodableBits;
        }
        return 0;
    }
    // This runs for every band, codebook and rate-loop trial, so the table lookup is hoisted
    // and the fit test rides on the index computation.
    const auto& shape = kShapes[static_cast<std::size_t>(codebook)];
    const auto codes = spectrum_codebook(codebook);
    const int limit = codebook_max_magnitude(codebook);
    const int base = shape.is_signed ? 2 * shape.max_magnitude + 1 : shape.max_magnitude + 1;
    const int index_shift = shape.is_signed ? shape.max_magnitude : 0;
    const auto dimension = static_cast<std::size_t>(shape.dimension);
    int bits = 0;
    for (std::size_t i = 0; i + dimension <= values.size(); i += dimension) {
        int index = 0;
        for (std::size_t d = 0; d < dimension; ++d) {
            const int value = values[i + d];
            const int magnitude = std::abs(value);
            if (magnitude > limit) return kUncodableBits;
            if (shape.is_signed) {
                index = index * base + value + index_shift;
                continue;
            }
            index = index * base + std::min(magnitude, shape.max_magnitude);
            if (magnitude != 0) ++bits;
            if (magnitude >= kEscapeMagnitude && codebook == kEscapeCodebook)
                bits += escape_bits(magnitude);
        }
        bits += codes[static_cast<std::size_t>(index)].length_bits;
    }
    return bits;
}

CodebookPairBits count_spectrum_bits_pair(int first, std::span<const int> values) {
    const auto& shape = kShapes[static_cast<std::size_t>(first)];
    const auto first_codes = spectrum_codebook(first);
    const auto second_codes = spectrum_codebook(first + 1);
    const int base = shape.is_signed ? 2 * shape.max_magnitude + 1 : shape.max_magnitude + 1;
    const int index_shift = shape.is_signed ? shape.max_magnitude : 0;
    const auto dimension = static_cast<std::size_t>(shape.dimension);
    CodebookPairBits bits{0, 0};
    for (std::size_t i = 0; i + dimension <= values.size(); i += dimension) {
        int index = 0;
        for (std::size_t d = 0; d < dimension; ++d) {
            const int value = values[i + d];
            const int magnitude = std::abs(value);
            if (magnitude > shape.max_magnitude) return {kUncodableBits, kUncodableBits};
            index = index * base + (shape.is_signed ? value + index_shift : magnitude);
            if (!shape.is_signed && magnitude != 0) {
                ++bits.first_bits;
                ++bits.second_bits;
            }
        }
        bits.first_bits += first_codes[static_cast<std::size_t>(index)].length_bits;
        bits.second_bits += second_codes[static_cast<std::size_t>(index)].length_bits;
    }
    return bits;
}

void write_spectrum(BitWriter& writer, int codebook, std::span<const int> values) {
    if (codebook == 0) return;
    const auto& shape = kShapes[static_cast<std::size_t>(codebook)];
    const auto codes = spectrum_codebook(codebook);
    const auto dimension = static_cast<std::size_t>(shape.dimension);
    for (std::size_t i = 0; i + dimension <= values.size(); i += dimension) {
        const auto tuple = values.subspan(i, dimension);
        const auto& code = codes[static_cast<std::size_t>(codeword_index(shape, tuple))];
        writer.write(code.codeword, code.length_bits);
        if (shape.is_signed) continue;
        for (int value : tuple) {
            if (value != 0) writer.write(value < 0 ? 1U : 0U, 1);
        }
        if (codebook != kEscapeCodebook) continue;
        for (int value : tuple) {
            if (std::abs(value) >= kEscapeMagnitude) write_escape(writer, std::abs(value));
        }
    }
}

int scalefactor_delta_bits(int delta) {
    return scalefactor_codebook()[static_cast<std::size_t>(delta + kScalefactorIndexOffset)]
        .length_bits;
}

void write_scalefactor_delta(BitWriter& writer, int delta) {
    const auto& code =
        scalefactor_codebook()[static_cast<std::size_t>(delta + kScalefactorIndexOffset)];
    writer.write(code.codeword, code.length_bits);
}

}  // namespace heaac
