#include "shell/bridge/task_text.h"

#include <string>

#include "common/task_memory.h"

namespace nb::bridge {

LPWSTR CopyToTaskMemory(LPCWSTR text) {
    if (!text) return nullptr;
    const SIZE_T characters = std::char_traits<WCHAR>::length(text) + 1;
    LPWSTR copy = nullptr;
    if (!NB_MEM_OLEALLOC(copy, characters * sizeof(WCHAR))) return nullptr;
    std::char_traits<WCHAR>::copy(copy, text, characters);
    return copy;
}

}  // namespace nb::bridge
