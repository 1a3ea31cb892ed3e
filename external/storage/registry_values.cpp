#include "external/storage/registry_values.h"

#include <algorithm>

#include "platform/text/ascii_case.h"

namespace nb::external {
namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

std::u16string HexText(std::span<const BYTE> bytes) {
    std::u16string text;
    text.reserve(bytes.size() * 2);
    for (BYTE byte : bytes) {
        text.push_back(kHexDigits[byte >> 4]);
        text.push_back(kHexDigits[byte & 0x0F]);
    }
    return text;
}

DWORD NumberOf(std::span<const BYTE> bytes) {
    DWORD number = 0;
    for (std::size_t i = 0; i < bytes.size() && i < sizeof number; ++i)
        number |= static_cast<DWORD>(bytes[i]) << (8 * i);
    return number;
}

// The whole characters of the bytes, low byte first.
std::u16string CharactersOf(std::span<const BYTE> bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

std::vector<std::u16string> TextsOf(std::u16string_view characters) {
    std::vector<std::u16string> texts;
    while (!characters.empty()) {
        const std::size_t end = characters.find(u'\0');
        const std::u16string_view text = characters.substr(0, end);
        if (text.empty()) break;
        texts.emplace_back(text);
        if (end == std::u16string_view::npos) break;
        characters.remove_prefix(end + 1);
    }
    return texts;
}

void AppendText(std::vector<BYTE>& bytes, std::u16string_view text) {
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

}  // namespace

std::span<const RegistryRoot> RegistryRoots() {
    static const RegistryRoot kRoots[] = {
        {4001, "HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {4002, "HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {4003, "HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {0, "HKU", "HKEY_USERS", HKEY_USERS},
    };
    return kRoots;
}

const RegistryRoot* RegistryRootOfCode(LONG code) {
    for (const RegistryRoot& root : RegistryRoots())
        if (root.code != 0 && root.code == code) return &root;
    return nullptr;
}

const RegistryRoot* RegistryRootNamed(std::string_view name) {
    for (const RegistryRoot& root : RegistryRoots())
        if (EqualsIgnoringAsciiCase(name, root.short_name) ||
            EqualsIgnoringAsciiCase(name, root.name))
            return &root;
    return nullptr;
}

LSTATUS ReadValue(HKEY key, LPCWSTR name, RawValue& value) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        // One spare byte keeps the buffer real for an empty value.
        value.data.resize(std::size_t{size} + 1);
        size = static_cast<DWORD>(value.data.size());
        status = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
        if (status == ERROR_SUCCESS) {
            value.data.resize(size);
            return ERROR_SUCCESS;
        }
    }
    return status;
}

RegistryValue DecodeValue(const RawValue& value) {
    switch (value.type) {
        case REG_BINARY:
            return HexText(value.data);
        case REG_DWORD:
            return NumberOf(value.data);
        case REG_MULTI_SZ:
            return TextsOf(CharactersOf(value.data));
        default: {
            std::u16string text = CharactersOf(value.data);
            text.resize(std::min(text.size(), text.find(u'\0')));
            return text;
        }
    }
}

std::vector<BYTE> TextBytes(std::u16string_view text) {
    std::vector<BYTE> bytes;
    AppendText(bytes, text);
    return bytes;
}

std::vector<BYTE> MultiTextBytes(std::span<const std::u16string> texts) {
    std::vector<BYTE> bytes;
    for (const std::u16string& text : texts) AppendText(bytes, text);
    AppendText(bytes, u"");
    return bytes;
}

std::vector<BYTE> NumberBytes(DWORD number) {
    return {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
            static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
}

}  // namespace nb::external
