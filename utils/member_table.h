// The members of an expando dispatch object, in insertion order, with indexes
// by exact name, by folded name and by DISPID. The indexes answer exactly what
// a linear search in insertion order would: the first member that matches.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/automation/interfaces.h"
#include "utils/dispatch_ex_entry.h"

namespace nb::utils {

enum class NameMatch { kExact, kIgnoreCase };
enum class EnumScope { kDynamicOnly, kAll };

class CMemberTable {
   public:
    CMemberTable() = default;
    CMemberTable(const CMemberTable&) = delete;
    CMemberTable& operator=(const CMemberTable&) = delete;

    // Adds a member with an empty value. A given DISPID moves the counter
    // there first; the counter then skips DISPIDs in use. E_OUTOFMEMORY leaves
    // the table unchanged.
    HRESULT Add(std::u16string_view name, MemberKind kind, std::optional<DISPID> given,
                DISPID* dispid);

    // The first member in insertion order whose name matches, or null.
    // E_OUTOFMEMORY when the name cannot be folded.
    HRESULT FindByName(std::u16string_view name, NameMatch match, CIDispatchExEntry** entry) const;
    CIDispatchExEntry* FindByDispid(DISPID dispid) const;
    // The first live member after the one holding `after` (from the start for
    // DISPID_STARTENUM or a DISPID not in the table); null at the end.
    // Deleted members are always skipped, built-in ones unless kAll.
    CIDispatchExEntry* Next(DISPID after, EnumScope scope) const;

    std::size_t Size() const { return m_entries.size(); }
    CIDispatchExEntry& At(std::size_t index) const { return *m_entries[index]; }

   private:
    DISPID FirstFreeDispid(DISPID from) const;
    HRESULT Index(CIDispatchExEntry& entry, std::size_t position);

    std::vector<std::unique_ptr<CIDispatchExEntry>> m_entries;
    // Keys view the names owned by the entries.
    std::unordered_map<std::u16string_view, std::size_t> m_byName;
    std::unordered_map<std::u16string, std::size_t> m_byFoldedName;
    std::unordered_map<DISPID, std::size_t> m_byDispid;
    DISPID m_nextDispid = 0;
};

}  // namespace nb::utils
