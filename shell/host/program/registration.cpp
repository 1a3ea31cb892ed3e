#include "shell/host/program/registration.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cstdio>

#include "platform/glib/owned.h"
#include "platform/ui/message_box.h"
#include "shell/host/program/class_registration.h"

namespace nb::shell {
namespace {

constexpr int kExitAppIdUnregister = 102;
constexpr int kExitUnregister = 103;
constexpr int kExitAppIdRegister = 104;
constexpr int kExitRegister = 105;

int Fail(int code, const char16_t* text) {
    MessageBoxW(nullptr, text, u"NbBrowser", MB_OK | MB_ICONERROR);
    return code;
}

// A path inside an Exec key is quoted, with its own quotes and backslashes escaped.
std::string QuotedExec(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

bool WriteDesktopEntry(const std::string& program_path) {
    const std::string path = DesktopEntryPath();
    g_mkdir_with_parents(glib::Text(g_path_get_dirname(path.c_str())).get(), 0755);
    const std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=NbBrowser\n"
        "Comment=BrowserCustomizer Class\n"
        "Exec=" +
        QuotedExec(program_path) +
        "\n"
        "Terminal=false\n"
        "Categories=AudioVideo;Audio;\n";
    return g_file_set_contents(path.c_str(), text.c_str(), static_cast<gssize>(text.size()),
                               nullptr);
}

bool RemoveDesktopEntry() {
    const std::string path = DesktopEntryPath();
    return g_unlink(path.c_str()) == 0 || !g_file_test(path.c_str(), G_FILE_TEST_EXISTS);
}

}  // namespace

std::string DesktopEntryPath() {
    return std::string(g_get_user_data_dir()) + "/applications/nimbra-nbbrowser.desktop";
}

int RunRegistration(Registration what, const std::string& program_path) {
    if (what == Registration::kUnregister) {
        if (!ApplyAppIdScript(ScriptMode::kUnregister, program_path))
            return Fail(kExitAppIdUnregister, u"_Module.UpdateRegistryFromResource() failed.");
        if (!ApplyClassScript(ScriptMode::kUnregister, program_path) || !RemoveDesktopEntry())
            return Fail(kExitUnregister, u"_Module.UnregisterServer() failed.");
        return 0;
    }
    if (!ApplyAppIdScript(ScriptMode::kRegister, program_path))
        return Fail(kExitAppIdRegister, u"_Module.UpdateRegistryFromResource() failed.");
    if (!ApplyClassScript(ScriptMode::kRegister, program_path) || !WriteDesktopEntry(program_path))
        return Fail(kExitRegister, u"_Module.RegisterServer() failed.");
    return 0;
}

}  // namespace nb::shell
