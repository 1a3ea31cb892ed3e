// EX_DelRegVal(root, subKey, valueName): removes one value of a key.
#include "common/error_report.h"
#include "external/frame/export.h"
#include "external/storage/registry_call.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::Integer, NbArgumentKind::String,
                                     NbArgumentKind::String};

HRESULT DelRegVal(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(3, 3, kKinds); FAILED(checked)) return checked;
    UniqueKey root;
    if (HRESULT opened = OpenCallRoot(call, root); FAILED(opened)) return opened;
    UniqueKey key;
    if (RegOpenKeyExW(root.Get(), SubKeyArgument(call), 0, KEY_SET_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return call.Fail(kRegistryErrorOpenSubKey, kRegistryMessageOpenSubKey);
    if (RegDeleteValueW(key.Get(), ValueNameArgument(call)) != ERROR_SUCCESS)
        return call.Fail(kRegistryErrorDeleteValue, u"Catastrophic: Cannot delete ValName");
    return S_OK;
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(DelRegVal, nb::external::DelRegVal);
