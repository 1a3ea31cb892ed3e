#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "platform/automation/variant.h"

namespace {

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);

std::uint32_t* PrefixOf(BSTR text) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kPrefixBytes);
}

// One allocation: the byte count, the bytes, and two zero bytes, so the text
// is terminated whether its length is even or odd.
BSTR AllocateBytes(const void* bytes, UINT byte_count) {
    if (byte_count > std::numeric_limits<std::uint32_t>::max() - kPrefixBytes - 2) return nullptr;
    auto* block = static_cast<char*>(std::malloc(kPrefixBytes + byte_count + 2));
    if (!block) return nullptr;
    const std::uint32_t prefix = byte_count;
    std::memcpy(block, &prefix, kPrefixBytes);
    char* text = block + kPrefixBytes;
    if (bytes)
        std::memcpy(text, bytes, byte_count);
    else
        std::memset(text, 0, byte_count);
    text[byte_count] = 0;
    text[byte_count + 1] = 0;
    return reinterpret_cast<BSTR>(text);
}

}  // namespace

NB_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return nullptr;
    return AllocateBytes(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

NB_API BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::char_traits<char16_t>::length(text)));
}

NB_API BSTR SysAllocStringByteLen(const char* bytes, UINT length) {
    return AllocateBytes(bytes, length);
}

NB_API void SysFreeString(BSTR text) {
    if (text) std::free(PrefixOf(text));
}

NB_API UINT SysStringByteLen(BSTR text) { return text ? *PrefixOf(text) : 0; }

NB_API UINT SysStringLen(BSTR text) {
    return SysStringByteLen(text) / static_cast<UINT>(sizeof(OLECHAR));
}
