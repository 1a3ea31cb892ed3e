#include "common/wide_text.h"

#include <cstdarg>

#include "platform/text/format.h"

int NB_SPRINTF(LPWSTR buffer, int capacity, LPCWSTR format, ...) {
    if (!buffer || !format || capacity < 1 || capacity > NB_SPRINTF_MAX_CAPACITY) return 0;
    va_list arguments;
    va_start(arguments, format);
    const int length = NbFormatTextV(buffer, capacity, format, arguments);
    va_end(arguments);
    // A result that does not fit is refused rather than handed on truncated;
    // with the capacity at most 511 this includes every 512-character result.
    if (length < 0 || length >= NB_SPRINTF_MAX_RESULT || length >= capacity) {
        buffer[0] = 0;
        return 0;
    }
    return length;
}

LPWSTR NB_TO_WIDE(LPWSTR wide_buffer, const char* narrow_text, int capacity, UINT code_page) {
    if (!wide_buffer || !narrow_text || capacity < 1) return nullptr;
    wide_buffer[0] = 0;
    if (MultiByteToWideChar(code_page, 0, narrow_text, -1, wide_buffer, capacity) == 0) {
        wide_buffer[0] = 0;
        return nullptr;
    }
    return wide_buffer;
}

char* NB_TO_NARROW(char* narrow_buffer, LPCWSTR wide_text, int capacity, UINT code_page) {
    if (!narrow_buffer || !wide_text || capacity < 1) return nullptr;
    narrow_buffer[0] = 0;
    if (WideCharToMultiByte(code_page, 0, wide_text, -1, narrow_buffer, capacity, nullptr,
                            nullptr) == 0) {
        narrow_buffer[0] = 0;
        return nullptr;
    }
    return narrow_buffer;
}
