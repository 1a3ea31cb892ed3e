// Registry values as pages and people see them: the roots by code and by
// name, a value read whole, its bytes decoded by type, and the bytes each
// writable type is stored as. Shared by the registry functions and nbreg.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/registry/registry.h"

namespace nb::external {

struct RegistryRoot {
    LONG code;  // the script's root code, 0 for a root scripts cannot name
    std::string_view short_name;
    std::string_view name;
    HKEY key;
};

// The four predefined roots, HKEY_CLASSES_ROOT first.
std::span<const RegistryRoot> RegistryRoots();
// The root of a script code 4001 to 4003 (4004, the calling user's own key,
// is opened by the functions themselves), or null.
const RegistryRoot* RegistryRootOfCode(LONG code);
// The root of a name such as "HKCU" or "HKEY_CURRENT_USER", in any case.
const RegistryRoot* RegistryRootNamed(std::string_view name);

// A decoded value: text, a 32-bit number or a list of texts.
using RegistryValue = std::variant<std::u16string, DWORD, std::vector<std::u16string>>;

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// Reads a value whole: its size first, then its bytes, again while another
// process makes it grow in between. The registry's status on failure.
LSTATUS ReadValue(HKEY key, LPCWSTR name, RawValue& value);

// REG_BINARY: two uppercase hexadecimal digits a byte. REG_DWORD: the
// number (missing bytes read as 0). REG_MULTI_SZ: the texts up to the first
// empty one. Any other type: the text up to its first zero. Text is read
// in whole characters, an odd last byte dropped; a missing terminator ends
// it at the end of the data.
RegistryValue DecodeValue(const RawValue& value);

// The stored forms: REG_SZ with its terminator, REG_MULTI_SZ as each text
// with its terminator and one more zero, REG_DWORD as 4 bytes low first.
std::vector<BYTE> TextBytes(std::u16string_view text);
std::vector<BYTE> MultiTextBytes(std::span<const std::u16string> texts);
std::vector<BYTE> NumberBytes(DWORD number);

}  // namespace nb::external
