// One member of an expando dispatch object. Records live as long as their
// object: deleting a member only marks it, so a DISPID once handed out always
// names the same member.
#pragma once

#include <memory>
#include <string_view>

#include "platform/automation/variant.h"

namespace nb::utils {

enum class MemberKind { kDynamic, kBuiltIn };

class CIDispatchExEntry {
   public:
    // E_OUTOFMEMORY, or the copy's failure, leaves *entry null.
    static HRESULT Create(std::u16string_view name, DISPID dispid, MemberKind kind,
                          std::unique_ptr<CIDispatchExEntry>* entry);
    CIDispatchExEntry(const CIDispatchExEntry&) = delete;
    CIDispatchExEntry& operator=(const CIDispatchExEntry&) = delete;
    virtual ~CIDispatchExEntry();

    std::u16string_view Name() const;
    // Marks the member deleted and drops its value.
    void MarkDeleted();

    // Built-in members come from the type information and are invoked through it.
    bool m_builtIn;
    bool m_deleted = false;
    VARIANT m_value;
    BSTR m_name = nullptr;
    DISPID m_dispid;

   private:
    CIDispatchExEntry(DISPID dispid, MemberKind kind);
};

}  // namespace nb::utils
