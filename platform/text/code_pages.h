// Conversions between narrow and UTF-16 text. Every narrow code page is UTF-8
// here: it is lossless, and it is what the platform speaks.
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/wintypes.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

// With a length of -1 the input is zero-terminated and the terminator is
// converted too. With a capacity of 0 the required size is returned. Returns
// the number of units written, or 0 when the output is too small (or the
// input pointer is null). Malformed input becomes U+FFFD.
NB_API int MultiByteToWideChar(UINT code_page, DWORD flags, const char* input, int input_length,
                               LPWSTR output, int capacity);
NB_API int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR input, int input_length,
                               char* output, int capacity, const char* default_char,
                               BOOL* used_default);

namespace nb {
NB_EXPORT std::u16string ToUtf16(std::string_view text);
NB_EXPORT std::string ToUtf8(std::u16string_view text);
}  // namespace nb
