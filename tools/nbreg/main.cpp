// nbreg: lists, reads, sets and deletes registry values from the command
// line, through the registry calls and with the root names and the value
// decoding of the extension library's registry functions.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "external/storage/registry_values.h"
#include "platform/registry/registry_key.h"
#include "platform/text/code_pages.h"

namespace {

using nb::external::RawValue;
using nb::external::RegistryValue;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr DWORD kMaxKeyNameLength = 255;
constexpr DWORD kMaxValueNameLength = 16383;

constexpr char kUsage[] =
    "usage: nbreg list ROOT [KEY]\n"
    "       nbreg get ROOT KEY [NAME]\n"
    "       nbreg set ROOT KEY [NAME] (--sz TEXT | --expand-sz TEXT | --dword NUMBER |\n"
    "                                  --binary HEX | --multi [TEXT...])\n"
    "       nbreg delete ROOT KEY [NAME]\n"
    "ROOT is HKCR, HKCU, HKLM or HKU (or HKEY_CLASSES_ROOT and so on), KEY a path\n"
    "of names separated by \"\\\", NAME a value (left out: the key's default value).\n"
    "list prints the subkeys, each followed by \"\\\", then one line per value:\n"
    "name, type and data separated by tabs, the texts of a list joined by \"\\0\".\n"
    "get prints a value as a page reads it: text, a decimal number, a list one\n"
    "text a line, bytes as hexadecimal digits. Names are matched in any case.\n"
    "The stores are in $XDG_DATA_HOME/nimbra/registry/ (or ~/.local/share/...).\n"
    "Exit status: 0 done, 1 not found or failed, 2 bad usage.\n";

int UsageError(const std::string& reason) {
    std::fprintf(stderr, "nbreg: %s\n%s", reason.c_str(), kUsage);
    return kExitUsage;
}

int Failure(const std::string& what, LSTATUS status) {
    if (status == ERROR_FILE_NOT_FOUND)
        std::fprintf(stderr, "nbreg: %s: not found\n", what.c_str());
    else
        std::fprintf(stderr, "nbreg: %s: error %d\n", what.c_str(), static_cast<int>(status));
    return kExitFailure;
}

std::string TypeName(DWORD type) {
    switch (type) {
        case REG_NONE:
            return "REG_NONE";
        case REG_SZ:
            return "REG_SZ";
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case REG_BINARY:
            return "REG_BINARY";
        case REG_DWORD:
            return "REG_DWORD";
        case REG_MULTI_SZ:
            return "REG_MULTI_SZ";
        case REG_QWORD:
            return "REG_QWORD";
        default:
            return std::to_string(type);
    }
}

// The value as text; a list's texts joined by separator.
std::string DataText(const RegistryValue& value, const std::string& separator) {
    if (const DWORD* number = std::get_if<DWORD>(&value))
        return std::to_string(static_cast<LONG>(*number));  // signed, as scripts see it
    if (const std::u16string* text = std::get_if<std::u16string>(&value)) return nb::ToUtf8(*text);
    std::string joined;
    for (const std::u16string& text : std::get<std::vector<std::u16string>>(value))
        joined += (joined.empty() ? "" : separator) + nb::ToUtf8(text);
    return joined;
}

// The command line: the command, the root and the other words in order.
struct Request {
    std::string command;
    HKEY root = nullptr;
    std::string root_name;
    std::vector<std::string> words;  // KEY, NAME, then set's type option and its data
};

std::u16string Wide(const std::string& text) { return nb::ToUtf16(text); }

std::string Narrow(const char16_t* text, DWORD length) {
    return nb::ToUtf8(std::u16string_view(text, length));
}

// Prints the subkeys' names; ERROR_NO_MORE_ITEMS after the last.
LSTATUS PrintSubkeys(HKEY key) {
    char16_t name[kMaxKeyNameLength + 1];
    for (DWORD index = 0;; ++index) {
        DWORD size = std::size(name);
        const LSTATUS status =
            RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) return status;
        std::printf("%s\\\n", Narrow(name, size).c_str());
    }
}

// Prints each value's line; ERROR_NO_MORE_ITEMS after the last.
LSTATUS PrintValues(HKEY key) {
    std::vector<char16_t> name(kMaxValueNameLength + 1);
    for (DWORD index = 0;; ++index) {
        auto size = static_cast<DWORD>(name.size());
        LSTATUS status =
            RegEnumValueW(key, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
        RawValue value;
        if (status == ERROR_SUCCESS) status = nb::external::ReadValue(key, name.data(), value);
        if (status != ERROR_SUCCESS) return status;
        std::printf("%s\t%s\t%s\n", size ? Narrow(name.data(), size).c_str() : "(default)",
                    TypeName(value.type).c_str(),
                    DataText(nb::external::DecodeValue(value), "\\0").c_str());
    }
}

int List(const Request& request) {
    if (request.words.size() > 1) return UsageError("list takes ROOT and at most KEY");
    const std::string path = request.words.empty() ? "" : request.words[0];
    const std::string where = request.root_name + "\\" + path;
    nb::UniqueKey key;
    LSTATUS status = RegOpenKeyExW(request.root, Wide(path).c_str(), 0, KEY_READ, key.Put());
    if (status != ERROR_SUCCESS) return Failure(where, status);
    status = PrintSubkeys(key.Get());
    if (status == ERROR_NO_MORE_ITEMS) status = PrintValues(key.Get());
    return status == ERROR_NO_MORE_ITEMS ? kExitSuccess : Failure(where, status);
}

// KEY and the optional NAME: words[0] and words[1].
struct Target {
    std::u16string key;
    std::optional<std::u16string> name;
    LPCWSTR Name() const { return name ? name->c_str() : nullptr; }
};

Target TargetOf(const std::vector<std::string>& words, std::size_t count) {
    Target target{Wide(words[0]), std::nullopt};
    if (count == 2) target.name = Wide(words[1]);
    return target;
}

std::string Shown(const Request& request, std::size_t count) {
    std::string shown = request.root_name + "\\" + request.words[0];
    return count == 2 ? shown + " " + request.words[1] : shown;
}

int Get(const Request& request) {
    const std::size_t count = request.words.size();
    if (count < 1 || count > 2) return UsageError("get takes ROOT, KEY and at most NAME");
    const Target target = TargetOf(request.words, count);
    nb::UniqueKey key;
    RawValue value;
    LSTATUS status = RegOpenKeyExW(request.root, target.key.c_str(), 0, KEY_QUERY_VALUE, key.Put());
    if (status == ERROR_SUCCESS) status = nb::external::ReadValue(key.Get(), target.Name(), value);
    if (status != ERROR_SUCCESS) return Failure(Shown(request, count), status);
    const RegistryValue decoded = nb::external::DecodeValue(value);
    if (const auto* texts = std::get_if<std::vector<std::u16string>>(&decoded)) {
        for (const std::u16string& text : *texts) std::printf("%s\n", nb::ToUtf8(text).c_str());
    } else {
        std::printf("%s\n", DataText(decoded, "").c_str());
    }
    return kExitSuccess;
}

std::optional<BYTE> HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<BYTE>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<BYTE>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<BYTE>(c - 'A' + 10);
    return std::nullopt;
}

std::optional<std::vector<BYTE>> HexBytes(const std::string& hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::vector<BYTE> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const std::optional<BYTE> high = HexDigit(hex[i]);
        const std::optional<BYTE> low = HexDigit(hex[i + 1]);
        if (!high || !low) return std::nullopt;
        bytes.push_back(static_cast<BYTE>(*high << 4 | *low));
    }
    return bytes;
}

// Decimal, or hexadecimal after "0x"; anything from -2^31 to 2^32 - 1.
std::optional<DWORD> Number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || number < -(1LL << 31) || number > 0xFFFFFFFFLL)
        return std::nullopt;
    return static_cast<DWORD>(number);
}

// The value a type option and its data words name, or the reason there is none.
std::optional<RawValue> ValueOf(const std::string& option, const std::vector<std::string>& data,
                                std::string& error) {
    if (option == "--multi") {
        std::vector<std::u16string> texts;
        for (const std::string& text : data) texts.push_back(Wide(text));
        return RawValue{REG_MULTI_SZ, nb::external::MultiTextBytes(texts)};
    }
    if (data.size() != 1) return error = option + " takes one value", std::nullopt;
    if (option == "--sz") return RawValue{REG_SZ, nb::external::TextBytes(Wide(data[0]))};
    if (option == "--expand-sz")
        return RawValue{REG_EXPAND_SZ, nb::external::TextBytes(Wide(data[0]))};
    if (option == "--dword") {
        const std::optional<DWORD> number = Number(data[0]);
        if (!number) return error = "--dword needs a 32-bit number", std::nullopt;
        return RawValue{REG_DWORD, nb::external::NumberBytes(*number)};
    }
    if (option == "--binary") {
        std::optional<std::vector<BYTE>> bytes = HexBytes(data[0]);
        if (!bytes) return error = "--binary needs pairs of hexadecimal digits", std::nullopt;
        return RawValue{REG_BINARY, std::move(*bytes)};
    }
    return error = "unknown type " + option, std::nullopt;
}

int Set(const Request& request) {
    const std::vector<std::string>& words = request.words;
    std::size_t count = 0;  // KEY and NAME before the type option
    while (count < words.size() && !words[count].starts_with("--")) ++count;
    if (count < 1 || count > 2 || count == words.size())
        return UsageError("set takes ROOT, KEY, at most NAME, then a type and its data");
    std::string error;
    const std::optional<RawValue> value = ValueOf(
        words[count], std::vector<std::string>(words.begin() + count + 1, words.end()), error);
    if (!value) return UsageError(error);
    const Target target = TargetOf(words, count);
    nb::UniqueKey key;
    LSTATUS status =
        RegCreateKeyExW(request.root, target.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.Put(), nullptr);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(key.Get(), target.Name(), 0, value->type, value->data.data(),
                                static_cast<DWORD>(value->data.size()));
    return status == ERROR_SUCCESS ? kExitSuccess : Failure(Shown(request, count), status);
}

int Delete(const Request& request) {
    const std::size_t count = request.words.size();
    if (count < 1 || count > 2) return UsageError("delete takes ROOT, KEY and at most NAME");
    const Target target = TargetOf(request.words, count);
    nb::UniqueKey key;
    LSTATUS status = RegOpenKeyExW(request.root, target.key.c_str(), 0, KEY_SET_VALUE, key.Put());
    if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.Get(), target.Name());
    return status == ERROR_SUCCESS ? kExitSuccess : Failure(Shown(request, count), status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return kExitSuccess;
    }
    if (argc < 3) return UsageError("a command and a ROOT are needed");
    Request request{argv[1], nullptr, argv[2], std::vector<std::string>(argv + 3, argv + argc)};
    const nb::external::RegistryRoot* root = nb::external::RegistryRootNamed(request.root_name);
    if (!root) return UsageError("unknown root " + request.root_name);
    request.root = root->key;
    request.root_name = std::string(root->short_name);
    if (request.command == "list") return List(request);
    if (request.command == "get") return Get(request);
    if (request.command == "set") return Set(request);
    if (request.command == "delete") return Delete(request);
    return UsageError("unknown command " + request.command);
}
