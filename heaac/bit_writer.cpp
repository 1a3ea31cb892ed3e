#include "heaac/bit_writer.h"

namespace heaac {

void BitWriter::write(std::uint32_t value, int bit_count) {
    for (int bit = bit_count - 1; bit >= 0; --bit) {
        const auto byte_index = static_cast<std::size_t>(m_bit_count >> 3);
        if (byte_index == m_bytes.size()) m_bytes.push_back(0);
        if ((value >> bit) & 1U) {
            m_bytes[byte_index] |= static_cast<std::uint8_t>(0x80U >> (m_bit_count & 7));
        }
        ++m_bit_count;
    }
}

void BitWriter::align_to_byte() {
    while ((m_bit_count & 7) != 0) write(0, 1);
}

void BitWriter::patch(std::int64_t bit_position, std::uint32_t value, int bit_count) {
    for (int bit = bit_count - 1; bit >= 0; --bit, ++bit_position) {
        auto& byte = m_bytes[static_cast<std::size_t>(bit_position >> 3)];
        const auto mask = static_cast<std::uint8_t>(0x80U >> (bit_position & 7));
        byte = ((value >> bit) & 1U) ? static_cast<std::uint8_t>(byte | mask)
                                     : static_cast<std::uint8_t>(byte & ~mask);
    }
}

}  // namespace heaac
