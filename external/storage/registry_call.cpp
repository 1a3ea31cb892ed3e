#include "external/storage/registry_call.h"

#include "common/error_report.h"
#include "external/storage/registry_values.h"

namespace nb::external {
namespace {

constexpr LONG kCurrentUserCode = 4004;

}  // namespace

HRESULT OpenCallRoot(const ExCall& call, UniqueKey& root) {
    const auto code = static_cast<LONG>(NbReadInteger(call.Argument(0)).value_or(0));
    if (code == kCurrentUserCode) {
        if (RegOpenCurrentUser(KEY_READ, root.Put()) != ERROR_SUCCESS)
            return call.Fail(kRegistryErrorCurrentUser,
                             u"Catastrophic: RegOpenCurrentUser() failed");
    } else if (const RegistryRoot* named = RegistryRootOfCode(code)) {
        root.Reset(named->key);
    } else {
        return call.Fail(NB_ERROR_ARGUMENT_VALUE, u"Catastrophic: Invalid RootKey");
    }
    const LPCWSTR sub_key = SubKeyArgument(call);
    if (!sub_key || !sub_key[0])
        return call.Fail(NB_ERROR_ARGUMENT_VALUE, u"Catastrophic: SubKey is empty");
    return S_OK;
}

LPCWSTR SubKeyArgument(const ExCall& call) { return NbReadString(call.Argument(1)); }

LPCWSTR ValueNameArgument(const ExCall& call) { return NbReadString(call.Argument(2)); }

}  // namespace nb::external
