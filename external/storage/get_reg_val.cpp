// EX_GetRegVal(root, subKey, valueName): a registry value as text, a number
// or a script array of texts, by its type.
#include <type_traits>

#include "common/error_report.h"
#include "external/frame/export.h"
#include "external/storage/registry_call.h"
#include "external/storage/registry_values.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::Integer, NbArgumentKind::String,
                                     NbArgumentKind::String};

HRESULT Return(const ExCall& call, const RegistryValue& value) {
    return std::visit(
        [&call](const auto& decoded) {
            using Decoded = std::decay_t<decltype(decoded)>;
            if constexpr (std::is_same_v<Decoded, DWORD>)
                return call.ReturnInteger(static_cast<LONG>(decoded));
            else if constexpr (std::is_same_v<Decoded, std::u16string>)
                return call.ReturnString(decoded);
            else
                return call.ReturnStringList(decoded);
        },
        value);
}

HRESULT GetRegVal(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(3, 3, kKinds); FAILED(checked)) return checked;
    UniqueKey root;
    if (HRESULT opened = OpenCallRoot(call, root); FAILED(opened)) return opened;
    UniqueKey key;
    if (RegOpenKeyExW(root.Get(), SubKeyArgument(call), 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return call.Fail(kRegistryErrorOpenSubKey, kRegistryMessageOpenSubKey);
    RawValue value;
    if (ReadValue(key.Get(), ValueNameArgument(call), value) != ERROR_SUCCESS)
        return call.Fail(kRegistryErrorReadValue, u"Catastrophic: Cannot get ValName");
    return Return(call, DecodeValue(value));
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(GetRegVal, nb::external::GetRegVal);
