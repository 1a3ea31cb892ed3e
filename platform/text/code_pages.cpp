#include "platform/text/code_pages.h"

#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[i], advancing i; malformed, overlong or
// surrogate sequences yield U+FFFD and consume one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return ++i, lead;
    int length = lead >= 0xF0 && lead <= 0xF4  ? 4
                 : lead >= 0xE0                ? 3
                 : lead >= 0xC2 && lead < 0xE0 ? 2
                                               : 0;
    if (lead >= 0xF5) length = 0;
    if (length == 0 || i + length > text.size()) return ++i, kReplacement;
    char32_t code = lead & (0xFF >> (length + 1));
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return ++i, kReplacement;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < minimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return ++i, kReplacement;
    i += length;
    return code;
}

void AppendUtf16(std::u16string& out, char32_t code) {
    if (code < 0x10000) {
        out.push_back(static_cast<char16_t>(code));
    } else {
        code -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    }
}

// Decodes one UTF-16 code point; a lone surrogate yields U+FFFD.
char32_t DecodeUtf16(std::u16string_view text, std::size_t& i) {
    char16_t unit = text[i++];
    if (unit >= 0xD800 && unit <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 &&
        text[i] <= 0xDFFF)
        return 0x10000 + ((unit - 0xD800) << 10) + (text[i++] - 0xDC00);
    if (unit >= 0xD800 && unit <= 0xDFFF) return kReplacement;
    return unit;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

template <typename Text>
int CopyOut(const Text& converted, typename Text::value_type* output, int capacity) {
    const int needed = static_cast<int>(converted.size());
    if (capacity == 0) return needed;
    if (!output || capacity < needed) return 0;
    std::memcpy(output, converted.data(), converted.size() * sizeof(typename Text::value_type));
    return needed;
}

}  // namespace

namespace nb {

std::u16string ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) AppendUtf16(out, DecodeUtf8(text, i));
    return out;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) AppendUtf8(out, DecodeUtf16(text, i));
    return out;
}

}  // namespace nb

NB_API int MultiByteToWideChar(UINT, DWORD, const char* input, int input_length, LPWSTR output,
                               int capacity) {
    if (!input || capacity < 0 || input_length < -1 || input_length == 0) return 0;
    const std::size_t length =
        input_length == -1 ? std::strlen(input) + 1 : static_cast<std::size_t>(input_length);
    return CopyOut(nb::ToUtf16(std::string_view(input, length)), output, capacity);
}

NB_API int WideCharToMultiByte(UINT, DWORD, LPCWSTR input, int input_length, char* output,
                               int capacity, const char*, BOOL* used_default) {
    if (used_default) *used_default = 0;
    if (!input || capacity < 0 || input_length < -1 || input_length == 0) return 0;
    const std::size_t length = input_length == -1 ? std::char_traits<char16_t>::length(input) + 1
                                                  : static_cast<std::size_t>(input_length);
    return CopyOut(nb::ToUtf8(std::u16string_view(input, length)), output, capacity);
}
