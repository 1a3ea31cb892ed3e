#include "utils/js_array_type_info.h"

namespace nb::utils {
namespace {

constexpr UINT kGetLengthSlot = 15;
constexpr UINT kPutLengthSlot = 16;

}  // namespace

HRESULT CreateJsArrayTypeInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    // The description is copied, so it can live on the stack.
    OLECHAR length_name[] = u"length";
    OLECHAR value_name[] = u"value";
    PARAMDATA put_parameter{value_name, VT_VARIANT};
    METHODDATA accessors[] = {
        {length_name, nullptr, kLengthDispid, kGetLengthSlot, CC_STDCALL, 0, DISPATCH_PROPERTYGET,
         VT_VARIANT},
        {length_name, &put_parameter, kLengthDispid, kPutLengthSlot, CC_STDCALL, 1,
         DISPATCH_PROPERTYPUT, VT_EMPTY},
    };
    INTERFACEDATA description{accessors, 2};
    return CreateDispTypeInfo(&description, LOCALE_SYSTEM_DEFAULT, info);
}

}  // namespace nb::utils
