#include "shell/host/program/class_registration.h"

#include <string>

#include "platform/registry/registry.h"
#include "platform/registry/registry_key.h"
#include "platform/text/code_pages.h"

namespace nb::shell {
namespace {

constexpr char16_t kAppId[] = u"{AC0ECDFF-E268-46B1-AF97-12272E1F9943}";
constexpr char16_t kClassId[] = u"{AC0ECD03-E268-46B1-AF97-12272E1F9943}";
constexpr char16_t kProgId[] = u"BrowserCustomizer.BrowserCustomizer.1";
constexpr char16_t kIndependentProgId[] = u"BrowserCustomizer.BrowserCustomizer";
constexpr char16_t kDescription[] = u"BrowserCustomizer Class";

// Creates the key below HKEY_CLASSES_ROOT and sets one text value on it
// (name null: the default value).
bool SetText(const std::u16string& path, const char16_t* name, std::u16string_view value) {
    nb::UniqueKey key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return false;
    const std::u16string text(value);
    return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))) ==
           ERROR_SUCCESS;
}

bool CreateKey(const std::u16string& path) {
    nb::UniqueKey key;
    return RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE, nullptr, key.Put(), nullptr) == ERROR_SUCCESS;
}

// A key that is already gone counts as removed.
bool RemoveTree(const std::u16string& path) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace

bool ApplyAppIdScript(ScriptMode mode, const std::string&) {
    const std::u16string id_key = std::u16string(u"AppID\\") + kAppId;
    const std::u16string exe_key = u"AppID\\NbBrowser.EXE";
    if (mode == ScriptMode::kUnregister) return RemoveTree(exe_key) && RemoveTree(id_key);
    return SetText(id_key, nullptr, u"NbBrowser") && SetText(exe_key, u"AppID", kAppId);
}

bool ApplyClassScript(ScriptMode mode, const std::string& program_path) {
    const std::u16string class_key = std::u16string(u"CLSID\\") + kClassId;
    if (mode == ScriptMode::kUnregister)
        return RemoveTree(kProgId) && RemoveTree(kIndependentProgId) && RemoveTree(class_key);
    return SetText(kProgId, nullptr, kDescription) &&
           SetText(std::u16string(kProgId) + u"\\CLSID", nullptr, kClassId) &&
           SetText(kIndependentProgId, nullptr, kDescription) &&
           SetText(std::u16string(kIndependentProgId) + u"\\CLSID", nullptr, kClassId) &&
           SetText(std::u16string(kIndependentProgId) + u"\\CurVer", nullptr, kProgId) &&
           SetText(class_key, nullptr, kDescription) &&
           SetText(class_key + u"\\ProgID", nullptr, kProgId) &&
           SetText(class_key + u"\\VersionIndependentProgID", nullptr, kIndependentProgId) &&
           CreateKey(class_key + u"\\Programmable") &&
           SetText(class_key + u"\\LocalServer32", nullptr, ToUtf16(program_path)) &&
           SetText(class_key, u"AppID", kAppId);
}

}  // namespace nb::shell
