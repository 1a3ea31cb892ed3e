// Wide text in task memory: the callback names that cross to the extension
// library and sit in worker slots.
#pragma once

#include <memory>

#include "platform/automation/com.h"

namespace nb::bridge {

struct TaskMemoryDeleter {
    void operator()(void* block) const { CoTaskMemFree(block); }
};
using TaskText = std::unique_ptr<WCHAR, TaskMemoryDeleter>;

// A zero-terminated copy of text in task memory; null for null text and
// after the allocation-failure box.
[[nodiscard]] LPWSTR CopyToTaskMemory(LPCWSTR text);

}  // namespace nb::bridge
