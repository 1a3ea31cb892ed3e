// Owning wrappers for interface references, BSTRs and VARIANTs.
#pragma once

#include <string_view>
#include <utility>

#include "platform/automation/com.h"

namespace nb {

template <typename T>
class ComPtr {
   public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already holds.
    static ComPtr Attach(T* pointer) {
        ComPtr result;
        result.m_pointer = pointer;
        return result;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* pointer) {
        if (pointer) pointer->AddRef();
        return Attach(pointer);
    }
    ComPtr(const ComPtr& other) : m_pointer(other.m_pointer) {
        if (m_pointer) m_pointer->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (T* old = std::exchange(m_pointer, nullptr)) old->Release();
    }
    T* Detach() { return std::exchange(m_pointer, nullptr); }
    T* Get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // Releases the current reference and offers the slot to an out parameter.
    T** Put() {
        Reset();
        return &m_pointer;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    template <typename U>
    HRESULT As(REFIID iid, ComPtr<U>* out) const {
        if (!m_pointer) return E_POINTER;
        return m_pointer->QueryInterface(iid, out->PutVoid());
    }

   private:
    T* m_pointer = nullptr;
};

class Bstr {
   public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text)
        : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    static Bstr Attach(BSTR text) {
        Bstr result;
        result.m_text = text;
        return result;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(m_text, other.m_text);
        return *this;
    }
    ~Bstr() { SysFreeString(m_text); }

    BSTR Get() const { return m_text; }
    BSTR Detach() { return std::exchange(m_text, nullptr); }
    BSTR* Put() {
        SysFreeString(std::exchange(m_text, nullptr));
        return &m_text;
    }
    std::u16string_view View() const { return {m_text ? m_text : u"", SysStringLen(m_text)}; }

   private:
    BSTR m_text = nullptr;
};

// A VARIANT that clears itself.
class Variant : public VARIANT {
   public:
    Variant() { VariantInit(this); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(this); }
};

}  // namespace nb
