// The browser engine of the process: one WebKit web context shared by every
// shell window, with the page channel its web processes connect to and the
// "x-mrs" scheme. The one place besides the host window that knows WebKitGTK.
#pragma once

#include <webkit2/webkit2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/glib/owned.h"
#include "shell/channel/page_channel.h"

namespace nb::shell {

class CBrowserCustomizer;

struct EngineVersion {
    std::string text;  // "2.50.6"
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};

struct EngineOptions {
    std::string program_path;  // the running program
    bool console_to_stdout = false;
};

class WebEngine {
   public:
    // Null after showing why when the web context or the channel cannot be made.
    [[nodiscard]] static std::unique_ptr<WebEngine> Create(const EngineOptions& options);
    WebEngine(const WebEngine&) = delete;
    WebEngine& operator=(const WebEngine&) = delete;
    ~WebEngine();

    static EngineVersion Version();

    WebKitWebContext* Context() const { return m_context.get(); }
    PageChannel& Channel() { return *m_channel; }
    const std::u16string& ProgramPath() const { return m_program_path; }
    const std::u16string& ProgramDirectory() const { return m_program_directory; }
    // The settings file beside the program, or the user's copy of it when
    // the program is installed.
    const std::u16string& DefaultSettingsPath() const { return m_default_settings; }
    bool ConsoleToStdout() const { return m_console; }

    // A message dialog (and a line on stderr, so it shows without a display).
    void ShowMessage(GtkWindow* owner, const char* text, const char* title);

    // A new window of type 1 for a page's window.open, related to opener so
    // the page keeps its opener; null when it cannot be made.
    WebKitWebView* OpenNewWindow(WebKitWebView* opener);
    // Forgets a window; the main window's end ends the loop.
    void OnWindowClosed(CBrowserCustomizer* window);
    // The window that was created first.
    void SetMainWindow(CBrowserCustomizer* window) { m_main = window; }

   private:
    WebEngine() = default;

    std::unique_ptr<PageChannel> m_channel;
    std::u16string m_program_path;
    std::u16string m_program_directory;
    std::u16string m_default_settings;
    bool m_console = false;
    CBrowserCustomizer* m_main = nullptr;
    // New windows opened by pages, each holding its reference.
    std::vector<CBrowserCustomizer*> m_others;
    // Last, so the context goes first, before the page channel closes.
    glib::Object<WebKitWebContext> m_context;
};

}  // namespace nb::shell
