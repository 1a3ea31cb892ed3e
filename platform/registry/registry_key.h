// A registry key handle with one owner, closed when the owner goes. The
// predefined roots need no owner (closing one does nothing).
#pragma once

#include <utility>

#include "platform/registry/registry.h"

namespace nb {

class UniqueKey {
   public:
    UniqueKey() = default;
    explicit UniqueKey(HKEY key) : m_key(key) {}
    UniqueKey(UniqueKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    UniqueKey& operator=(UniqueKey&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_key, nullptr));
        return *this;
    }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;
    ~UniqueKey() { Reset(); }

    bool IsOpen() const { return m_key != nullptr; }
    HKEY Get() const { return m_key; }
    // Closes the key held and hands out the slot an opening call fills:
    // RegOpenKeyExW(root, path, 0, KEY_READ, key.Put()).
    PHKEY Put() {
        Reset();
        return &m_key;
    }
    void Reset(HKEY key = nullptr) {
        if (m_key) RegCloseKey(m_key);
        m_key = key;
    }

   private:
    HKEY m_key = nullptr;
};

}  // namespace nb
