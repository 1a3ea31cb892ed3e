#pragma once
// Most-significant-bit-first writer for AAC bitstream elements.
#include <cstdint>
#include <vector>

namespace heaac {

class BitWriter {
   public:
    // Appends the low `bit_count` bits of `value` (at most 32), most significant first.
    void write(std::uint32_t value, int bit_count);
    // Pads with zero bits up to the next byte boundary.
    void align_to_byte();
    [[nodiscard]] std::int64_t bit_count() const { return m_bit_count; }
    [[nodiscard]] const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    // Overwrites `bit_count` bits at a bit position already written (header fields known late).
    void patch(std::int64_t bit_position, std::uint32_t value, int bit_count);

   private:
    std::vector<std::uint8_t> m_bytes;
    std::int64_t m_bit_count = 0;
};

}  // namespace heaac
