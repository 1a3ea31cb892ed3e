// Small automation objects for tests: a reference-counted IDispatch whose
// value property answers a fixed variant.
#pragma once

#include "platform/automation/com_ptr.h"

namespace nb::testing {

class ValueObject final : public IDispatch {
   public:
    explicit ValueObject(LONG value) : m_value(value) {}
    virtual ~ValueObject() = default;
    ULONG references() const { return m_references; }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override { return --m_references; }  // owned by the test
    HRESULT GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                   EXCEPINFO*, UINT*) override {
        if (dispid != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || !result)
            return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_I4;
        result->lVal = m_value;
        return S_OK;
    }

   private:
    LONG m_value;
    ULONG m_references = 1;
};

}  // namespace nb::testing
