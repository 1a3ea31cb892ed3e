#include "utils/dispatch_ex_entry.h"

#include <new>

namespace nb::utils {

CIDispatchExEntry::CIDispatchExEntry(DISPID dispid, MemberKind kind)
    : m_builtIn(kind == MemberKind::kBuiltIn), m_dispid(dispid) {
    VariantInit(&m_value);
}

CIDispatchExEntry::~CIDispatchExEntry() {
    VariantClear(&m_value);
    SysFreeString(m_name);
}

HRESULT CIDispatchExEntry::Create(std::u16string_view name, DISPID dispid, MemberKind kind,
                                  std::unique_ptr<CIDispatchExEntry>* entry) {
    entry->reset();
    std::unique_ptr<CIDispatchExEntry> created(new (std::nothrow) CIDispatchExEntry(dispid, kind));
    if (!created) return E_OUTOFMEMORY;
    created->m_name = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
    if (!created->m_name) return E_OUTOFMEMORY;
    *entry = std::move(created);
    return S_OK;
}

std::u16string_view CIDispatchExEntry::Name() const {
    return {m_name ? m_name : u"", SysStringLen(m_name)};
}

void CIDispatchExEntry::MarkDeleted() {
    VariantClear(&m_value);
    m_deleted = true;
}

}  // namespace nb::utils
