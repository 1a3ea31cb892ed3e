#include "heaac/bit_writer.h"

#include <algorithm>

namespace heaac {

void BitWriter::write(std::uint32_t value, int bit_count) {
    // Fills the partial last byte, then whole bytes, a byte's worth of bits at a time.
    while (bit_count > 0) {
        const int used = static_cast<int>(m_bit_count & 7);
        if (used == 0) m_bytes.push_back(0);
        const int take = std::min(8 - used, bit_count);
        const std::uint32_t chunk = (value >> (bit_count - take)) & ((1U << take) - 1U);
        m_bytes.back() = static_cast<std::uint8_t>(m_bytes.back() | (chunk << (8 - used - take)));
        m_bit_count += take;
        bit_count -= take;
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
