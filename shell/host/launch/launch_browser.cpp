#include "shell/host/launch/launch_browser.h"

#include <gio/gio.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "common/variant_text.h"
#include "platform/glib/owned.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_key.h"
#include "platform/text/code_pages.h"
#include "shell/host/launch/launch_command.h"

namespace nb::shell {
namespace {

constexpr char16_t kDefaultBrowserKey[] = u"http\\shell\\open\\command";
constexpr char16_t kExplorerKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

// The default value of a key as text; empty when the key or value is
// missing or is not text.
std::u16string DefaultValue(HKEY root, const char16_t* path) {
    nb::UniqueKey key;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return {};
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::u16string text;
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size >= sizeof(char16_t)) {
        text.resize(size / sizeof(char16_t));
        if (RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr,
                             reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
            text.clear();
        text.resize(std::min<std::size_t>(text.size(), size / sizeof(char16_t)));
    }
    // A stored string may or may not carry its terminator.
    if (const std::size_t end = text.find(u'\0'); end != std::u16string::npos) text.resize(end);
    return text;
}

std::u16string DesktopHandlerCommand() {
    const auto handler = glib::Take(g_app_info_get_default_for_uri_scheme("http"));
    if (!handler) return {};
    const char* line = g_app_info_get_commandline(handler.get());
    return line ? CommandFromDesktopExec(ToUtf16(line)) : std::u16string();
}

void OpenWithDefaultHandler(const std::string& url) {
    glib::Error error;
    if (!g_app_info_launch_default_for_uri(url.c_str(), nullptr, glib::Out(error)))
        g_warning("LaunchBrowser: no handler opened %s: %s", url.c_str(), error->message);
}

bool Start(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    glib::Error error;
    // The browser outlives this call and is not our child to wait for; its
    // output stays off the shell's standard output, which may carry the
    // page console.
    return g_spawn_async(nullptr, argv.data(), nullptr,
                         static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL),
                         nullptr, nullptr, nullptr, glib::Out(error));
}

}  // namespace

std::u16string BrowserCommand(BrowserChoice choice) {
    if (choice == BrowserChoice::kInternetExplorer)
        return DefaultValue(HKEY_LOCAL_MACHINE, kExplorerKey);
    std::u16string command = DefaultValue(HKEY_CLASSES_ROOT, kDefaultBrowserKey);
    return command.empty() ? DesktopHandlerCommand() : command;
}

void LaunchBrowser(const std::u16string& url, BrowserChoice choice) {
    const std::u16string command = BrowserCommand(choice);
    if (!command.empty()) {
        const std::optional<std::vector<std::string>> arguments = LaunchArguments(command, url);
        if (arguments && Start(*arguments)) return;
    }
    OpenWithDefaultHandler(ToUtf8(UpToNul(url)));
}

HRESULT LaunchBrowserMethod(const DISPPARAMS* params, UINT* argument_error) {
    const UINT count = params ? params->cArgs : 0;
    if (count != 1 && count != 2) return DISP_E_BADPARAMCOUNT;
    const VARIANT& url = params->rgvarg[count - 1];
    if (url.vt != VT_BSTR) {
        if (argument_error) *argument_error = count - 1;
        return DISP_E_TYPEMISMATCH;
    }
    BrowserChoice choice = BrowserChoice::kDefault;
    if (count == 2) {
        if (params->rgvarg[0].vt != VT_BOOL) {
            if (argument_error) *argument_error = 0;
            return DISP_E_TYPEMISMATCH;
        }
        if (params->rgvarg[0].boolVal == VARIANT_TRUE) choice = BrowserChoice::kInternetExplorer;
    }
    LaunchBrowser(std::u16string(NbBstrView(url.bstrVal)), choice);
    return S_OK;
}

}  // namespace nb::shell
