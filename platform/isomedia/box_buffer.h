// Big-endian serialization of boxes and of MPEG-4 descriptors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace nb::isomedia {

class BoxBuffer {
   public:
    void Put8(std::uint32_t value) { m_bytes.push_back(static_cast<std::uint8_t>(value)); }
    void Put16(std::uint32_t value) { PutBigEndian(value, 2); }
    void Put24(std::uint32_t value) { PutBigEndian(value, 3); }
    void Put32(std::uint32_t value) { PutBigEndian(value, 4); }
    void Put64(std::uint64_t value) { PutBigEndian(value, 8); }
    void PutBytes(std::span<const std::uint8_t> bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    }
    void PutZeros(std::size_t count) { m_bytes.insert(m_bytes.end(), count, 0); }

    // Opens a box whose 32-bit size is filled in by EndBox; answers where it
    // starts.
    std::size_t BeginBox(std::uint32_t type) {
        const std::size_t start = m_bytes.size();
        Put32(0);
        Put32(type);
        return start;
    }
    std::size_t BeginFullBox(std::uint32_t type, std::uint8_t version, std::uint32_t flags) {
        const std::size_t start = BeginBox(type);
        Put8(version);
        Put24(flags);
        return start;
    }
    void EndBox(std::size_t start) {
        const auto size = static_cast<std::uint32_t>(m_bytes.size() - start);
        for (std::size_t i = 0; i < 4; ++i)
            m_bytes[start + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }

    // An MPEG-4 descriptor: tag, the content's size in the expandable
    // encoding (7 bits a byte, high groups first, every byte but the last
    // flagged with 0x80), then the content.
    void PutDescriptor(std::uint8_t tag, std::span<const std::uint8_t> content) {
        Put8(tag);
        const auto size = static_cast<std::uint32_t>(content.size());
        for (int shift = 21; shift > 0; shift -= 7)
            if (size >> shift) Put8(0x80 | ((size >> shift) & 0x7F));
        Put8(size & 0x7F);
        PutBytes(content);
    }

    std::size_t size() const { return m_bytes.size(); }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

   private:
    void PutBigEndian(std::uint64_t value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) Put8(static_cast<std::uint32_t>(value >> (8 * i)));
    }

    std::vector<std::uint8_t> m_bytes;
};

}  // namespace nb::isomedia
