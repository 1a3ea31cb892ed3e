// Decodes the input as a stored value of each type (the first byte picks
// one): any bytes decode, hexadecimal text has two digits a byte, texts hold
// no zero and a list holds no empty text; and the texts decoded from a list
// come back unchanged through the stored form the registry functions write.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "external/storage/registry_values.h"

namespace {

using nb::external::RawValue;

constexpr DWORD kTypes[] = {REG_NONE,  REG_SZ,       REG_EXPAND_SZ, REG_BINARY,
                            REG_DWORD, REG_MULTI_SZ, REG_QWORD};

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckText(const std::u16string& text) { Check(text.find(u'\0') == std::u16string::npos); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const RawValue value{kTypes[data[0] % std::size(kTypes)],
                         std::vector<BYTE>(data + 1, data + size)};
    const nb::external::RegistryValue decoded = nb::external::DecodeValue(value);
    switch (value.type) {
        case REG_BINARY: {
            const auto& hex = std::get<std::u16string>(decoded);
            Check(hex.size() == 2 * value.data.size());
            break;
        }
        case REG_DWORD:
            Check(std::holds_alternative<DWORD>(decoded));
            break;
        case REG_MULTI_SZ: {
            const auto& texts = std::get<std::vector<std::u16string>>(decoded);
            for (const std::u16string& text : texts) {
                Check(!text.empty());
                CheckText(text);
            }
            const RawValue stored{REG_MULTI_SZ, nb::external::MultiTextBytes(texts)};
            Check(nb::external::DecodeValue(stored) == decoded);
            break;
        }
        default: {
            const auto& text = std::get<std::u16string>(decoded);
            CheckText(text);
            Check(text.size() <= value.data.size() / 2);
            const RawValue stored{REG_SZ, nb::external::TextBytes(text)};
            Check(nb::external::DecodeValue(stored) == decoded);
        }
    }
    return 0;
}
