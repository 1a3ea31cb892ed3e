#include "utils/member_table.h"

#include <new>

#include "utils/name_fold.h"

namespace nb::utils {
namespace {

// The counter wraps as 32-bit arithmetic does, without signed overflow.
DISPID Following(DISPID dispid) {
    return static_cast<DISPID>(static_cast<std::uint32_t>(dispid) + 1u);
}

}  // namespace

DISPID CMemberTable::FirstFreeDispid(DISPID from) const {
    while (m_byDispid.contains(from)) from = Following(from);
    return from;
}

HRESULT CMemberTable::Add(std::u16string_view name, MemberKind kind, std::optional<DISPID> given,
                          DISPID* dispid) {
    const DISPID assigned = FirstFreeDispid(given.value_or(m_nextDispid));
    std::unique_ptr<CIDispatchExEntry> entry;
    if (HRESULT hr = CIDispatchExEntry::Create(name, assigned, kind, &entry); FAILED(hr)) return hr;
    try {
        m_entries.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (HRESULT hr = Index(*m_entries.back(), m_entries.size() - 1); FAILED(hr)) {
        m_entries.pop_back();
        return hr;
    }
    *dispid = assigned;
    m_nextDispid = assigned < 0 ? 0 : Following(assigned);
    return S_OK;
}

HRESULT CMemberTable::Index(CIDispatchExEntry& entry, std::size_t position) {
    // try_emplace keeps the earlier member when a name is already indexed, so
    // lookups keep finding the first match in insertion order.
    std::optional<decltype(m_byName)::iterator> named;
    std::optional<decltype(m_byFoldedName)::iterator> folded;
    try {
        std::u16string folded_name = FoldName(entry.Name());
        if (auto [at, inserted] = m_byName.try_emplace(entry.Name(), position); inserted)
            named = at;
        if (auto [at, inserted] = m_byFoldedName.try_emplace(std::move(folded_name), position);
            inserted)
            folded = at;
        m_byDispid.emplace(entry.m_dispid, position);
    } catch (const std::bad_alloc&) {
        if (named) m_byName.erase(*named);
        if (folded) m_byFoldedName.erase(*folded);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CMemberTable::FindByName(std::u16string_view name, NameMatch match,
                                 CIDispatchExEntry** entry) const {
    *entry = nullptr;
    if (match == NameMatch::kExact) {
        if (const auto found = m_byName.find(name); found != m_byName.end())
            *entry = m_entries[found->second].get();
        return S_OK;
    }
    try {
        if (const auto found = m_byFoldedName.find(FoldName(name)); found != m_byFoldedName.end())
            *entry = m_entries[found->second].get();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

CIDispatchExEntry* CMemberTable::FindByDispid(DISPID dispid) const {
    const auto found = m_byDispid.find(dispid);
    return found == m_byDispid.end() ? nullptr : m_entries[found->second].get();
}

CIDispatchExEntry* CMemberTable::Next(DISPID after, EnumScope scope) const {
    std::size_t position = 0;
    if (after != DISPID_STARTENUM) {
        const auto found = m_byDispid.find(after);
        if (found != m_byDispid.end()) position = found->second + 1;
    }
    for (; position < m_entries.size(); ++position) {
        CIDispatchExEntry& entry = *m_entries[position];
        if (entry.m_deleted) continue;
        if (entry.m_builtIn && scope != EnumScope::kAll) continue;
        return &entry;
    }
    return nullptr;
}

}  // namespace nb::utils
