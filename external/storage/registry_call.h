// What the three registry functions share once their kind checks have
// passed: the root code and the sub key, both read from the call's first two
// arguments.
#pragma once

#include "common/error_report.h"
#include "external/frame/call_frame.h"
#include "platform/registry/registry_key.h"

namespace nb::external {

// The registry functions' own codes, numbered the same in all three.
constexpr WORD kRegistryErrorCurrentUser = NB_ERROR_FUNCTION_FIRST;
constexpr WORD kRegistryErrorOpenSubKey = NB_ERROR_FUNCTION_FIRST + 1;
constexpr WORD kRegistryErrorCreateSubKey = NB_ERROR_FUNCTION_FIRST + 2;
constexpr WORD kRegistryErrorReadValue = NB_ERROR_FUNCTION_FIRST + 3;
constexpr WORD kRegistryErrorSetValue = NB_ERROR_FUNCTION_FIRST + 4;
constexpr WORD kRegistryErrorDeleteValue = NB_ERROR_FUNCTION_FIRST + 5;
constexpr LPCWSTR kRegistryMessageOpenSubKey = u"Catastrophic: Cannot open SubKey";

// Opens the root the code names and checks the sub key, in this order:
// 2104 "Invalid RootKey" for a code outside 4001 to 4004, 3100 when the
// calling user's key (4004, opened for reading) cannot be opened, 2104
// "SubKey is empty" for a null or empty sub key. S_OK with root open (a
// predefined root needs no closing; the user's key closes with root).
[[nodiscard]] HRESULT OpenCallRoot(const ExCall& call, UniqueKey& root);

// The sub key and value name arguments (index 1 and 2); a null value name
// is the key's default value.
LPCWSTR SubKeyArgument(const ExCall& call);
LPCWSTR ValueNameArgument(const ExCall& call);

}  // namespace nb::external
