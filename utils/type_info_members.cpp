#include "utils/type_info_members.h"

#include "platform/automation/com_ptr.h"
#include "platform/text/ascii_case.h"

namespace nb::utils {
namespace {

// Deep or cyclic base chains are not type information any interface has.
constexpr int kMaxBaseDepth = 32;

struct TypeShape {
    UINT functions = 0;
    UINT bases = 0;
};

HRESULT ReadShape(ITypeInfo* info, TypeShape* shape) {
    TYPEATTR* attributes = nullptr;
    if (HRESULT hr = info->GetTypeAttr(&attributes); FAILED(hr)) return hr;
    shape->functions = attributes->cFuncs;
    shape->bases = attributes->cImplTypes;
    info->ReleaseTypeAttr(attributes);
    return S_OK;
}

HRESULT ReadFunctionDispid(ITypeInfo* info, UINT index, DISPID* dispid) {
    FUNCDESC* description = nullptr;
    if (HRESULT hr = info->GetFuncDesc(index, &description); FAILED(hr)) return hr;
    *dispid = description->memid;
    info->ReleaseFuncDesc(description);
    return S_OK;
}

HRESULT AddFunction(CMemberTable& members, ITypeInfo* info, UINT index) {
    DISPID dispid = DISPID_UNKNOWN;
    if (HRESULT hr = ReadFunctionDispid(info, index, &dispid); FAILED(hr)) return hr;
    Bstr name;
    if (HRESULT hr = info->GetDocumentation(dispid, name.Put(), nullptr, nullptr, nullptr);
        FAILED(hr))
        return hr;
    // A property's get and put accessors share one DISPID and one member.
    if (members.FindByDispid(dispid)) return S_OK;
    DISPID added = DISPID_UNKNOWN;
    return members.Add(name.View(), MemberKind::kBuiltIn, dispid, &added);
}

// The root names are ASCII, so an ASCII case fold compares them exactly.
bool IsRootInterface(std::u16string_view name) {
    return nb::EqualsIgnoringAsciiCase(name, u"IDispatch") ||
           nb::EqualsIgnoringAsciiCase(name, u"IDispatchEx") ||
           nb::EqualsIgnoringAsciiCase(name, u"IUnknown");
}

HRESULT FirstBase(ITypeInfo* info, ComPtr<ITypeInfo>* base) {
    HREFTYPE reference = 0;
    if (HRESULT hr = info->GetRefTypeOfImplType(0, &reference); FAILED(hr)) return hr;
    return info->GetRefTypeInfo(reference, base->Put());
}

HRESULT AddMembers(CMemberTable& members, ITypeInfo* info, int depth) {
    TypeShape shape;
    if (HRESULT hr = ReadShape(info, &shape); FAILED(hr)) return hr;
    for (UINT index = 0; index < shape.functions; ++index)
        if (HRESULT hr = AddFunction(members, info, index); FAILED(hr)) return hr;
    if (shape.bases == 0 || depth >= kMaxBaseDepth) return S_OK;
    ComPtr<ITypeInfo> base;
    if (HRESULT hr = FirstBase(info, &base); FAILED(hr)) return hr;
    Bstr base_name;
    if (HRESULT hr =
            base->GetDocumentation(MEMBERID_NIL, base_name.Put(), nullptr, nullptr, nullptr);
        FAILED(hr))
        return hr;
    if (IsRootInterface(base_name.View())) return S_OK;
    return AddMembers(members, base.Get(), depth + 1);
}

}  // namespace

HRESULT AddTypeInfoMembers(CMemberTable& members, ITypeInfo* info) {
    return AddMembers(members, info, 0);
}

}  // namespace nb::utils
