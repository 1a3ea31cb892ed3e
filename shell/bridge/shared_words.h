// Reads and writes of the words the shell shares with worker threads (slot
// fields, command words, wait flags). Each word has one writer at a time; the
// atomic access makes every read see a whole value published by its writer.
#pragma once

#include <atomic>

namespace nb::bridge {

template <typename T>
T LoadShared(const T& word) {
    return std::atomic_ref<T>(const_cast<T&>(word)).load(std::memory_order_acquire);
}

template <typename T>
void StoreShared(T& word, T value) {
    std::atomic_ref<T>(word).store(value, std::memory_order_release);
}

}  // namespace nb::bridge
