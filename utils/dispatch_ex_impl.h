// The expando dispatch machinery: IDispatch and IDispatchEx over a table of
// members that scripts add by name at run time, with the members of the
// served interface's type information built in.
//
// TInterface is IDispatchEx or an interface derived from it; it is the first
// base, so its vtable starts the object. Built-in members are invoked through
// the type information on that interface pointer.
#pragma once

#include <optional>

#include "platform/automation/com_ptr.h"
#include "utils/dispatch_invoke.h"
#include "utils/member_table.h"
#include "utils/type_info_members.h"

namespace nb::utils {

// Every member can be got, put, put by reference, called, constructed and
// source events: members are untyped script values.
inline constexpr DWORD kExpandoMemberProperties = fdexPropCanGet | fdexPropCanPut |
                                                  fdexPropCanPutRef | fdexPropCanCall |
                                                  fdexPropCanConstruct | fdexPropCanSourceEvents;

template <typename TInterface>
class IDispatchExImpl : public TInterface {
   public:
    IDispatchExImpl(const IDispatchExImpl&) = delete;
    IDispatchExImpl& operator=(const IDispatchExImpl&) = delete;

    // IDispatch
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (index != 0) return DISP_E_BADINDEX;
        if (!info) return E_POINTER;
        *info = ComPtr<ITypeInfo>(m_typeInfo).Detach();
        return S_OK;
    }
    // Case-insensitive lookups that never create a member. Every slot is
    // written; the result is the first failure.
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) override {
        if (!dispids || (!names && count > 0)) return E_POINTER;
        HRESULT first_failure = S_OK;
        for (UINT i = 0; i < count; ++i) {
            const HRESULT hr = FindDispid(TextView(names[i]), fdexNameCaseInsensitive, &dispids[i]);
            if (FAILED(hr) && SUCCEEDED(first_failure)) first_failure = hr;
        }
        return first_failure;
    }
    HRESULT Invoke(DISPID dispid, REFIID, LCID locale, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override {
        if (argument_error) *argument_error = 0;
        return InvokeEx(dispid, locale, flags, params, result, exception, nullptr);
    }

    // IDispatchEx
    HRESULT GetDispID(BSTR name, DWORD flags, DISPID* dispid) override {
        return FindDispid(BstrView(name), flags, dispid);
    }
    HRESULT InvokeEx(DISPID dispid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* exception, IServiceProvider*) override {
        if (IsConstructRequest(flags) && !m_constructed)
            return AnswerConstructRequest(params, result, exception);
        // Each requested kind runs in turn and the last one decides.
        StepOutcome outcome;
        bool result_holds_value = false;
        if (flags & DISPATCH_PROPERTYGET) {
            outcome = GetMember(dispid, params, result);
            result_holds_value = SUCCEEDED(outcome.hr) && !outcome.built_in;
        }
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
            outcome = PutMember(dispid, params);
        if (flags & DISPATCH_METHOD) {
            // The callee fills the result slot itself; drop what the get put there.
            if (result_holds_value) VariantClear(result);
            outcome = CallMember(dispid, locale, flags, params, result, exception);
        }
        if (outcome.built_in) return InvokeBuiltIn(dispid, flags, params, result, exception);
        return outcome.hr;
    }
    HRESULT DeleteMemberByName(BSTR name, DWORD flags) override {
        CIDispatchExEntry* entry = nullptr;
        if (HRESULT hr = m_members.FindByName(BstrView(name), MatchFor(flags), &entry); FAILED(hr))
            return hr;
        return DeleteMember(entry);
    }
    HRESULT DeleteMemberByDispID(DISPID dispid) override {
        return DeleteMember(m_members.FindByDispid(dispid));
    }
    HRESULT GetMemberProperties(DISPID, DWORD, DWORD* properties) override {
        if (!properties) return E_POINTER;
        *properties = kExpandoMemberProperties;
        return S_OK;
    }
    HRESULT GetMemberName(DISPID dispid, BSTR* name) override {
        if (!name) return E_POINTER;
        *name = nullptr;
        const CIDispatchExEntry* entry = m_members.FindByDispid(dispid);
        if (!entry || entry->m_deleted) return DISP_E_MEMBERNOTFOUND;
        const std::u16string_view text = entry->Name();
        *name = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT GetNextDispID(DWORD flags, DISPID dispid, DISPID* next) override {
        if (!next) return E_POINTER;
        const EnumScope scope = flags == fdexEnumAll ? EnumScope::kAll : EnumScope::kDynamicOnly;
        const CIDispatchExEntry* entry = m_members.Next(dispid, scope);
        *next = entry ? entry->m_dispid : 0;
        return entry ? S_OK : S_FALSE;
    }
    HRESULT GetNameSpaceParent(IUnknown** parent) override {
        if (parent) *parent = nullptr;
        return E_NOTIMPL;
    }

   protected:
    IDispatchExImpl() = default;
    virtual ~IDispatchExImpl() = default;

    // Asked before a value is stored in a dynamic member; clearing *allow
    // refuses the put with E_ACCESSDENIED.
    virtual void CanPutMember(BSTR /*name*/, const VARIANT* /*value*/, bool* /*allow*/) {}
    // Told after a value was stored in a dynamic member.
    virtual void OnMemberPut(BSTR /*name*/, const VARIANT* /*value*/) {}

    bool HasTypeInfo() const { return static_cast<bool>(m_typeInfo); }
    // Holds the type information of TInterface and adds its members as
    // built-ins. A second call keeps the first type information.
    HRESULT AttachTypeInfo(ITypeInfo* info) {
        if (m_typeInfo) return S_OK;
        m_typeInfo = ComPtr<ITypeInfo>::Share(info);
        return AddTypeInfoMembers(m_members, info);
    }
    const CMemberTable& Members() const { return m_members; }
    CMemberTable& Members() { return m_members; }

   private:
    TInterface* Self() { return this; }

    static NameMatch MatchFor(DWORD flags) {
        return (flags & fdexNameCaseSensitive) ? NameMatch::kExact : NameMatch::kIgnoreCase;
    }

    HRESULT FindDispid(std::u16string_view name, DWORD flags, DISPID* dispid) {
        if (!dispid) return E_POINTER;
        *dispid = DISPID_UNKNOWN;
        CIDispatchExEntry* entry = nullptr;
        if (HRESULT hr = m_members.FindByName(name, MatchFor(flags), &entry); FAILED(hr)) return hr;
        // A deleted member stays deleted until a value is put into it.
        if (entry && (!entry->m_deleted || (flags & fdexNameEnsure))) {
            *dispid = entry->m_dispid;
            return S_OK;
        }
        if (!entry && (flags & fdexNameEnsure))
            return m_members.Add(name, MemberKind::kDynamic, std::nullopt, dispid);
        return DISP_E_UNKNOWNNAME;
    }

    static HRESULT DeleteMember(CIDispatchExEntry* entry) {
        if (!entry) return S_OK;
        if (entry->m_builtIn) return S_FALSE;
        entry->MarkDeleted();
        return S_OK;
    }

    // The first construct request runs the interface's constructor, if its
    // type information has one, and answers with this object.
    HRESULT AnswerConstructRequest(DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception) {
        m_constructed = true;
        if (!m_typeInfo) return E_ACCESSDENIED;
        Variant ignored;
        DISPPARAMS no_arguments{};
        UINT argument_error = 0;
        const HRESULT hr = m_typeInfo->Invoke(Self(), DISPID_CONSTRUCTOR, DISPATCH_METHOD,
                                              params ? params : &no_arguments, &ignored, exception,
                                              &argument_error);
        if (FAILED(hr)) return hr;
        if (!result) return E_POINTER;
        VariantClear(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = Self();
        Self()->AddRef();
        return S_OK;
    }

    StepOutcome GetMember(DISPID dispid, const DISPPARAMS* params, VARIANT* result) {
        if (!result || HasArguments(params)) return {E_INVALIDARG};
        const CIDispatchExEntry* entry = m_members.FindByDispid(dispid);
        if (!entry) return {DISP_E_MEMBERNOTFOUND};
        if (entry->m_builtIn) return kBuiltInOutcome;
        return {VariantCopy(result, &entry->m_value)};
    }

    StepOutcome PutMember(DISPID dispid, const DISPPARAMS* params) {
        if (!IsPutArgumentList(params)) return {DISP_E_PARAMNOTOPTIONAL};
        CIDispatchExEntry* entry = m_members.FindByDispid(dispid);
        if (!entry) return {DISP_E_MEMBERNOTFOUND};
        if (entry->m_builtIn) return kBuiltInOutcome;
        const VARIANT& value = params->rgvarg[0];
        bool allow = true;
        CanPutMember(entry->m_name, &value, &allow);
        if (!allow) return {E_ACCESSDENIED};
        entry->m_deleted = false;
        VariantClear(&entry->m_value);
        const HRESULT hr = VariantCopy(&entry->m_value, &value);
        if (SUCCEEDED(hr)) OnMemberPut(entry->m_name, &entry->m_value);
        return {hr};
    }

    StepOutcome CallMember(DISPID dispid, LCID locale, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception) {
        const CIDispatchExEntry* entry = m_members.FindByDispid(dispid);
        if (!entry) return {DISP_E_MEMBERNOTFOUND};
        // The copy keeps the function alive even if the call replaces the member.
        Variant function;
        if (HRESULT hr = VariantCopy(&function, &entry->m_value); FAILED(hr)) return {hr};
        if (entry->m_deleted) return {DISP_E_MEMBERNOTFOUND};
        if (entry->m_builtIn) return kBuiltInOutcome;
        return {CallFunctionValue(function, Self(), locale, flags, params, result, exception)};
    }

    HRESULT InvokeBuiltIn(DISPID dispid, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception) {
        if (!m_typeInfo) return E_ACCESSDENIED;
        DISPPARAMS no_arguments{};
        UINT argument_error = 0;
        return m_typeInfo->Invoke(Self(), dispid, flags, params ? params : &no_arguments, result,
                                  exception, &argument_error);
    }

    ComPtr<ITypeInfo> m_typeInfo;
    CMemberTable m_members;
    bool m_constructed = false;
};

}  // namespace nb::utils
