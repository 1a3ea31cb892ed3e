#include "utils/js_array.h"

#include <cstdint>
#include <new>
#include <optional>

#include "utils/js_array_type_info.h"
#include "utils/module_lock.h"

namespace nb::utils {
namespace {

// A name made of decimal digits only; the empty name counts as 0. The number
// wraps in 32 bits, as the script host's conversion does, and compares unsigned.
std::optional<std::uint32_t> NumericName(std::u16string_view name) {
    std::uint32_t number = 0;
    for (const char16_t unit : name) {
        if (unit < u'0' || unit > u'9') return std::nullopt;
        number = number * 10u + static_cast<std::uint32_t>(unit - u'0');
    }
    return number;
}

// Visits the live dynamic members in enumeration order.
template <typename Visit>
void ForEachElement(const CMemberTable& members, Visit visit) {
    for (CIDispatchExEntry* entry = members.Next(DISPID_STARTENUM, EnumScope::kDynamicOnly); entry;
         entry = members.Next(entry->m_dispid, EnumScope::kDynamicOnly))
        visit(*entry);
}

}  // namespace

CNbJsArray::CNbJsArray() { LockModule(); }

CNbJsArray::~CNbJsArray() { UnlockModule(); }

HRESULT CNbJsArray::CreateInstance(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* array = new (std::nothrow) CNbJsArray();
    if (!array) return E_OUTOFMEMORY;
    // One reference for the duration of creation: a failure below releases it
    // and so destroys the array.
    array->AddRef();
    HRESULT hr = array->FinalConstruct();
    if (SUCCEEDED(hr)) hr = array->QueryInterface(iid, object);
    array->Release();
    return hr;
}

HRESULT CNbJsArray::FinalConstruct() {
    if (HasTypeInfo()) return S_OK;
    ComPtr<ITypeInfo> info;
    if (HRESULT hr = CreateJsArrayTypeInfo(info.Put()); FAILED(hr)) return hr;
    return AttachTypeInfo(info.Get());
}

HRESULT CNbJsArray::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx ||
        iid == IID_INbJsArray) {
        *object = static_cast<INbJsArray*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CNbJsArray::AddRef() { return ++m_references; }

ULONG CNbJsArray::Release() {
    const ULONG remaining = --m_references;
    if (remaining == 0) delete this;
    return remaining;
}

HRESULT CNbJsArray::get_length(VARIANT* length) {
    if (!length) return E_POINTER;
    // One more than the largest number seen so far, in enumeration order, so
    // a wrapped 0xFFFFFFFF resets the count exactly as it always has.
    std::uint32_t best = 0;
    ForEachElement(Members(), [&best](const CIDispatchExEntry& entry) {
        const std::optional<std::uint32_t> number = NumericName(entry.Name());
        if (number && *number >= best) best = *number + 1u;
    });
    length->vt = VT_I4;
    length->lVal = static_cast<LONG>(best);
    return S_OK;
}

HRESULT CNbJsArray::put_length(VARIANT length) {
    if (length.vt != VT_I4) return E_FAIL;
    const auto limit = static_cast<std::uint32_t>(length.lVal);
    ForEachElement(Members(), [limit](CIDispatchExEntry& entry) {
        const std::optional<std::uint32_t> number = NumericName(entry.Name());
        if (number && *number >= limit) entry.MarkDeleted();
    });
    return S_OK;
}

HRESULT CNbJsArray::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID_INbJsArray ? S_OK : S_FALSE;
}

}  // namespace nb::utils
