// A script function stand-in: a dispatch object that records how it was
// called. It answers IDispatchEx only when told to, as a script engine's
// function object does and a plain automation object does not.
#pragma once

#include <vector>

#include "platform/automation/automation.h"

namespace nb::utils::testing {

enum class CalleeKind { kPlainDispatch, kDispatchEx };
enum class CalledThrough { kNone, kInvoke, kInvokeEx };

struct RecordedCall {
    CalledThrough through = CalledThrough::kNone;
    DISPID dispid = DISPID_UNKNOWN;
    LCID locale = 0;
    WORD flags = 0;
    const DISPPARAMS* params = nullptr;
    // Argument tags and the object of VT_DISPATCH arguments, in rgvarg order.
    std::vector<VARTYPE> argument_types;
    std::vector<IDispatch*> argument_objects;
    std::vector<DISPID> named;
};

class RecordingCallee final : public IDispatchEx {
   public:
    explicit RecordingCallee(CalleeKind kind) : m_kind(kind) {}
    virtual ~RecordingCallee() = default;

    const RecordedCall& Call() const { return m_call; }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        const bool answers = iid == IID_IUnknown || iid == IID_IDispatch ||
                             (iid == IID_IDispatchEx && m_kind == CalleeKind::kDispatchEx);
        *object = answers ? static_cast<IDispatchEx*>(this) : nullptr;
        if (!answers) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override {
        const ULONG remaining = --m_references;
        if (remaining == 0) delete this;
        return remaining;
    }

    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID, LCID locale, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO*, UINT*) override {
        return Record(CalledThrough::kInvoke, dispid, locale, flags, params, result);
    }

    HRESULT GetDispID(BSTR, DWORD, DISPID*) override { return E_NOTIMPL; }
    HRESULT InvokeEx(DISPID dispid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO*, IServiceProvider*) override {
        return Record(CalledThrough::kInvokeEx, dispid, locale, flags, params, result);
    }
    HRESULT DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
    HRESULT GetMemberProperties(DISPID, DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
    HRESULT GetNextDispID(DWORD, DISPID, DISPID*) override { return E_NOTIMPL; }
    HRESULT GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

    // What the function returns.
    static constexpr LONG kResult = 42;

   private:
    HRESULT Record(CalledThrough through, DISPID dispid, LCID locale, WORD flags,
                   DISPPARAMS* params, VARIANT* result) {
        m_call = {through, dispid, locale, flags, params, {}, {}, {}};
        for (UINT i = 0; params && i < params->cArgs; ++i) {
            m_call.argument_types.push_back(params->rgvarg[i].vt);
            m_call.argument_objects.push_back(
                params->rgvarg[i].vt == VT_DISPATCH ? params->rgvarg[i].pdispVal : nullptr);
        }
        for (UINT i = 0; params && i < params->cNamedArgs; ++i)
            m_call.named.push_back(params->rgdispidNamedArgs[i]);
        if (result) {
            result->vt = VT_I4;
            result->lVal = kResult;
        }
        return S_OK;
    }

    CalleeKind m_kind;
    ULONG m_references = 1;
    RecordedCall m_call;
};

}  // namespace nb::utils::testing
