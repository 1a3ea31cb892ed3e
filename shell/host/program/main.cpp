// NbBrowser: the shell program. Handles the registration switches, then
// opens the main window on the application's start page and runs the UI
// thread's loop until that window is gone.
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel/program_paths.h"
#include "platform/messaging/glib_loop.h"
#include "platform/ui/message_box.h"
#include "shell/host/presenters/gtk_presenters.h"
#include "shell/host/program/class_table.h"
#include "shell/host/program/command_line.h"
#include "shell/host/program/registration.h"
#include "shell/host/script_object/browser_customizer.h"
#include "shell/host/window/web_engine.h"

namespace {

constexpr int kExitInitialize = 100;
constexpr int kExitModule = 101;
constexpr int kExitCreate = 107;
constexpr int kExitRun = 108;

int Fail(int code, const char16_t* text, const char16_t* title) {
    MessageBoxW(nullptr, text, title, MB_OK | MB_ICONERROR);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    nb::shell::ShellOptions options = nb::shell::ParseShellCommandLine(arguments);
    const char* console = std::getenv("NIMBRA_CONSOLE");
    if (console && std::strcmp(console, "1") == 0) options.console_to_stdout = true;

    // Dialogs need a display; registration does not.
    const bool has_display = gtk_init_check(&argc, &argv);
    nb::shell::InstallGtkPresenters();
    const std::string program = nb::ProgramPath();
    if (program.empty()) return Fail(kExitModule, u"_Module.Init() failed.", u"NbBrowser");

    if (options.registration != nb::shell::Registration::kNone)
        return nb::shell::RunRegistration(options.registration, program);
    if (!has_display) {
        std::fprintf(stderr, "NbBrowser: cannot open the display\n");
        return Fail(kExitInitialize, u"OleInitialize() failed.", u"NbBrowser");
    }

    // Relative paths of the application are relative to the program.
    const std::string directory = program.substr(0, program.rfind('/'));
    if (chdir(directory.c_str()) != 0)
        std::fprintf(stderr, "NbBrowser: cannot enter %s\n", directory.c_str());

    std::unique_ptr<nb::MessageLoop> loop = nb::CreateGLibLoop(nullptr);
    nb::SetCurrentThreadLoop(loop.get());
    std::unique_ptr<nb::shell::WebEngine> engine =
        nb::shell::WebEngine::Create({program, options.console_to_stdout});
    if (!engine) {
        nb::SetCurrentThreadLoop(nullptr);
        return Fail(kExitRun, u"BrowserCustomizer.Run() failed.", u"NbBrowser");
    }
    void* object = nullptr;
    if (FAILED(nb::shell::LegacyCoCreateInstance(*engine, nb::shell::CLSID_BrowserCustomizer,
                                                 nb::shell::IID_IBrowserCustomizer, &object)))
        return Fail(kExitCreate, u"Legacy_CoCreateInstance(CLSID_BrowserCustomizer) failed.",
                    u"NbBrowser/Main");
    if (!object) return Fail(kExitRun, u"pApp == NULL", u"NbBrowser/Main");
    auto* app = static_cast<nb::shell::CBrowserCustomizer*>(static_cast<IDispatch*>(object));
    app->SetWindowType(nb::shell::WindowType::kMain);
    engine->SetMainWindow(app);
    if (FAILED(app->Run())) {
        app->Release();
        return Fail(kExitRun, u"BrowserCustomizer.Run() failed.", u"NbBrowser");
    }
    const int code = loop->Run();
    app->Release();
    engine.reset();
    nb::SetCurrentThreadLoop(nullptr);
    return code;
}
