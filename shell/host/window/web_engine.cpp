#include "shell/host/window/web_engine.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <cstdio>

#include "platform/glib/owned.h"
#include "platform/kernel/user_files.h"
#include "platform/messaging/messaging.h"
#include "platform/text/code_pages.h"
#include "shell/host/program/class_table.h"
#include "shell/host/script_object/browser_customizer.h"
#include "shell/host/window/host_window.h"
#include "shell/host/window/scheme_handler.h"
#include "shell/settings/settings_store.h"

namespace nb::shell {
namespace {

constexpr char kScheme[] = "x-mrs";

void OnInitializeWebExtensions(WebKitWebContext* context, gpointer self) {
    auto* engine = static_cast<WebEngine*>(self);
    webkit_web_context_set_web_extensions_initialization_user_data(
        context, g_variant_new("(ssb)", engine->Channel().SocketPath().c_str(),
                               engine->Channel().Token().c_str(), engine->ConsoleToStdout()));
}

}  // namespace

EngineVersion WebEngine::Version() {
    EngineVersion version;
    version.major = webkit_get_major_version();
    version.minor = webkit_get_minor_version();
    version.text = std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
                   std::to_string(webkit_get_micro_version());
    return version;
}

std::unique_ptr<WebEngine> WebEngine::Create(const EngineOptions& options) {
    std::unique_ptr<WebEngine> engine(new WebEngine());
    const std::string program_directory =
        glib::Text(g_path_get_dirname(options.program_path.c_str())).get();
    engine->m_program_directory = ToUtf16(program_directory);
    engine->m_program_path = ToUtf16(options.program_path);
    engine->m_default_settings =
        ToUtf16(UserWritableFile(ToUtf8(DefaultSettingsFile(engine->m_program_path))));
    engine->m_console = options.console_to_stdout;

    const std::string runtime = g_get_user_runtime_dir();
    g_mkdir_with_parents(runtime.c_str(), 0700);
    engine->m_channel = PageChannel::Create(runtime);
    if (!engine->m_channel) {
        engine->ShowMessage(nullptr, "Cannot CoInternetGetSession()", "Fatal Error");
        return nullptr;
    }
    if (options.console_to_stdout) engine->m_channel->SetConsoleOutput(stdout);

    engine->m_context = glib::Take(webkit_web_context_new_ephemeral());
    const std::string extensions = program_directory + "/internals/webext";
    webkit_web_context_set_web_extensions_directory(engine->m_context.get(), extensions.c_str());
    g_signal_connect(engine->m_context.get(), "initialize-web-extensions",
                     G_CALLBACK(OnInitializeWebExtensions), engine.get());
    WebKitSecurityManager* security =
        webkit_web_context_get_security_manager(engine->m_context.get());
    // Application pages are trusted like local files: they may use each
    // other and file: URLs, and count as a secure origin.
    webkit_security_manager_register_uri_scheme_as_local(security, kScheme);
    webkit_security_manager_register_uri_scheme_as_secure(security, kScheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kScheme);
    RegisterSchemeHandler(engine->m_context.get(), kScheme, ToUtf16(program_directory));
    return engine;
}

WebEngine::~WebEngine() {
    for (CBrowserCustomizer* window : m_others) window->Release();
    m_others.clear();
}

void WebEngine::ShowMessage(GtkWindow* owner, const char* text, const char* title) {
    std::fprintf(stderr, "%s: %s\n", title, text);
    if (!gdk_display_get_default()) return;
    GtkWidget* box = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                            GTK_BUTTONS_OK, "%s", text);
    gtk_window_set_title(GTK_WINDOW(box), title);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

WebKitWebView* WebEngine::OpenNewWindow(WebKitWebView* opener) {
    CBrowserCustomizer* window = CreateBrowserCustomizer(*this);
    if (!window) {
        ShowMessage(nullptr, "Legacy_CoCreateInstance(CLSID_BrowserCustomizer) failed.",
                    "BrowserCustomizer/DISPID_NEWWINDOW2");
        return nullptr;
    }
    window->SetWindowType(WindowType::kNewWindow);
    window->SetRelatedView(opener);
    if (FAILED(window->Run())) {
        window->Release();
        return nullptr;
    }
    m_others.push_back(window);
    return window->Window()->View();
}

void WebEngine::OnWindowClosed(CBrowserCustomizer* window) {
    if (window == m_main) {
        PostQuitMessage(0);
        return;
    }
    const auto found = std::find(m_others.begin(), m_others.end(), window);
    if (found == m_others.end()) return;
    m_others.erase(found);
    // Released once the signal that reported the end has returned.
    g_idle_add(
        [](gpointer data) -> gboolean {
            static_cast<CBrowserCustomizer*>(data)->Release();
            return G_SOURCE_REMOVE;
        },
        window);
}

}  // namespace nb::shell
