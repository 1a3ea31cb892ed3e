// Task memory for everything that crosses a module or a thread, so that
// either side can free it with CoTaskMemFree.
#pragma once

#include "platform/automation/com.h"

// Shows the allocation failure box (no owner, OK button) with the given text
// and caption.
void NbShowTaskMemoryFailure(LPCWSTR text, LPCWSTR caption);

// Frees what pointer holds (a null pointer is fine), then points it at a
// new block of size_bytes. Returns false, with pointer null, after showing
// "Failed to CoTaskMemAlloc()" when the allocation fails; the operation that
// asked must then stop with its own failure.
template <typename T>
[[nodiscard]] bool NB_MEM_OLEALLOC(T*& pointer, SIZE_T size_bytes) {
    CoTaskMemFree(pointer);
    pointer = static_cast<T*>(CoTaskMemAlloc(size_bytes));
    if (pointer) return true;
    NbShowTaskMemoryFailure(u"Failed to CoTaskMemAlloc()", u"NB_MEM_OLEALLOC");
    return false;
}

// Resizes the block pointer holds (a null pointer allocates; size 0 frees
// and leaves it null). Returns false after showing "Failed to
// CoTaskMemRealloc()" when the block cannot grow; pointer then still owns
// the old, unchanged block, so nothing leaks and the caller frees it as
// before.
template <typename T>
[[nodiscard]] bool NB_MEM_OLEREALLOC(T*& pointer, SIZE_T size_bytes) {
    void* resized = CoTaskMemRealloc(pointer, size_bytes);
    if (!resized && size_bytes != 0) {
        NbShowTaskMemoryFailure(u"Failed to CoTaskMemRealloc()", u"NB_MEM_OLEREALLOC");
        return false;
    }
    pointer = static_cast<T*>(resized);
    return true;
}
