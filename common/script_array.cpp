#include "common/script_array.h"

#include <string_view>

#include "common/wide_text.h"
#include "platform/automation/automation.h"
#include "platform/ui/message_box.h"
#include "utils/nbutils.h"

namespace {

// The object of an array value, or why there is none.
HRESULT ArrayObject(const VARIANT* array, IDispatch** object) {
    if (!array) return E_POINTER;
    if (array->vt != VT_DISPATCH) return E_FAIL;
    if (!array->pdispVal) return E_POINTER;
    *object = array->pdispVal;
    return S_OK;
}

HRESULT GetProperty(IDispatch* object, LPOLESTR name, VARIANT* value) {
    DISPID dispid = DISPID_UNKNOWN;
    const HRESULT lookup =
        object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &dispid);
    if (FAILED(lookup)) return lookup;
    DISPPARAMS no_arguments = {nullptr, nullptr, 0, 0};
    return object->Invoke(dispid, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET,
                          &no_arguments, value, nullptr, nullptr);
}

HRESULT PutMember(IDispatchEx* object, int index, const VARIANT& value) {
    OLECHAR digits[16];
    NB_SPRINTF(digits, 16, u"%d", index);
    nb::Bstr name{std::u16string_view(digits)};
    DISPID dispid = DISPID_UNKNOWN;
    if (!name.Get() || FAILED(object->GetDispID(name.Get(), fdexNameEnsure, &dispid)))
        return E_FAIL;
    // A shallow view: the object copies what it keeps, the caller owns value.
    VARIANT argument = value;
    DISPID put_name = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&argument, &put_name, 1, 1};
    const WORD mode = (value.vt & VT_BYREF) ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    const HRESULT put =
        object->InvokeEx(dispid, LOCALE_USER_DEFAULT, mode, &params, nullptr, nullptr, nullptr);
    return SUCCEEDED(put) ? S_OK : E_FAIL;
}

}  // namespace

HRESULT NB_ARRAY_CREATE(VARIANT* result) {
    if (!result) return E_POINTER;
    INbJsArray* object = nullptr;
    const HRESULT created = CoCreateInstance(CLSID_NbJsArray, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_INbJsArray, reinterpret_cast<void**>(&object));
    if (FAILED(created) || !object) {
        MessageBoxW(nullptr, u"CoCreateInstance(CLSID_NbJsArray)", u"NbCommon/__nb_arraycreate",
                    MB_OK);
        return E_FAIL;
    }
    VariantClear(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    return S_OK;
}

HRESULT NB_ARRAY_ADDELEMENT(const VARIANT* array, int index, const VARIANT* value) {
    IDispatch* object = nullptr;
    const HRESULT found = ArrayObject(array, &object);
    if (FAILED(found)) return found;
    if (!value) return E_POINTER;
    nb::ComPtr<IDispatchEx> expando;
    if (FAILED(object->QueryInterface(IID_IDispatchEx, expando.PutVoid())) || !expando)
        return E_FAIL;
    return PutMember(expando.Get(), index, *value);
}

HRESULT NB_ARRAY_ADDSTRING(const VARIANT* array, int index, LPCWSTR text) {
    nb::Variant value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(text);
    if (text && !value.bstrVal) return E_OUTOFMEMORY;
    return NB_ARRAY_ADDELEMENT(array, index, &value);
}

HRESULT NB_ARRAY_ADDINT(const VARIANT* array, int index, LONG number) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = number;
    return NB_ARRAY_ADDELEMENT(array, index, &value);
}

HRESULT NB_ARRAY_GETLENGTH(const VARIANT* array, LONG* count) {
    if (!count) return E_POINTER;
    IDispatch* object = nullptr;
    HRESULT hr = ArrayObject(array, &object);
    if (FAILED(hr)) return hr;
    OLECHAR name[] = u"length";
    nb::Variant length;
    hr = GetProperty(object, name, &length);
    if (SUCCEEDED(hr)) hr = VariantChangeType(&length, &length, 0, VT_I4);
    if (FAILED(hr)) return hr;
    *count = length.lVal;
    return S_OK;
}

HRESULT NB_ARRAY_GETELEMENT(const VARIANT* array, LONG index, VARIANT* element) {
    if (!element) return E_POINTER;
    IDispatch* object = nullptr;
    HRESULT hr = ArrayObject(array, &object);
    if (FAILED(hr)) return hr;
    nb::Bstr name;
    hr = VarBstrFromI4(index, LOCALE_SYSTEM_DEFAULT, 0, name.Put());
    if (FAILED(hr)) return hr;
    nb::Variant value;
    hr = GetProperty(object, name.Get(), &value);
    if (FAILED(hr)) return hr;
    return VariantCopy(element, &value);
}
