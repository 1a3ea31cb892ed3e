// The first bytes of a program's output, kept for the script.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nb::external {

// Output is read in pieces of at most kReadBytes. After each read, when the
// bytes stored so far and kHeadroomBytes together exceed kBufferBytes, later
// reads are dropped: at most 5056 bytes are kept, and at least the first
// 4993 when the output is that long.
class OutputCapture {
   public:
    static constexpr std::size_t kReadBytes = 64;
    static constexpr std::size_t kBufferBytes = 5120;
    static constexpr std::size_t kHeadroomBytes = 128;

    // bytes: what one read brought, at most kReadBytes.
    void AddRead(std::string_view bytes);
    const std::string& Stored() const { return m_stored; }

   private:
    std::string m_stored;
    bool m_accepting = true;
};

}  // namespace nb::external
