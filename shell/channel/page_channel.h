// The shell's end of the page channel: a Unix socket that every web process
// of the shell connects to. Pages' window.external requests are answered
// from the object of the window that shows them, and the shell calls page
// functions through it synchronously. Runs on the UI thread's GLib context;
// its sources recurse, so requests are served inside any nested loop
// (message boxes, pumping waits, a wait for a page's reply).
#pragma once

#include <glib.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/interfaces.h"
#include "shell/channel/frame.h"

namespace nb::shell {

// What the channel needs of a window to answer its pages.
class PageEndpoint {
   public:
    // S_OK with the member's DISPID and kind, or DISP_E_UNKNOWNNAME.
    virtual HRESULT LookUpMember(std::u16string_view name, DISPID* dispid, bool* is_method) = 0;
    // The object behind window.external.
    virtual IDispatch* ExternalObject() = 0;

   protected:
    ~PageEndpoint() = default;
};

class PageChannel {
   public:
    // Listens on a fresh socket in a private directory under runtime_dir.
    // Null when the socket cannot be made.
    [[nodiscard]] static std::unique_ptr<PageChannel> Create(const std::string& runtime_dir);
    PageChannel(const PageChannel&) = delete;
    PageChannel& operator=(const PageChannel&) = delete;
    ~PageChannel();

    const std::string& SocketPath() const { return m_socket_path; }
    const std::string& Token() const { return m_token; }
    // Console messages of pages are written here, one a line; null: dropped.
    void SetConsoleOutput(std::FILE* output) { m_console = output; }

    void Attach(std::uint64_t page, PageEndpoint* endpoint) { m_endpoints[page] = endpoint; }
    void Detach(std::uint64_t page) { m_endpoints.erase(page); }

    // Calls the global function name of the page with arguments as a
    // DISPPARAMS gives them (last script argument first) and waits for its
    // answer, serving requests meanwhile. DISP_E_UNKNOWNNAME when the page has
    // no such function, DISP_E_EXCEPTION when it threw, E_FAIL when the page
    // is not connected or its process went away.
    HRESULT CallPage(std::uint64_t page, std::u16string_view name, const DISPPARAMS* arguments,
                     VARIANT* result);

    struct Connection;

   private:
    PageChannel() = default;
    static gboolean OnListenReady(gint fd, GIOCondition condition, gpointer self);
    static gboolean OnReadable(gint fd, GIOCondition condition, gpointer connection);
    void Accept();
    void Serve(const std::shared_ptr<Connection>& connection);
    void Handle(const std::shared_ptr<Connection>& connection, Frame& frame);
    void Close(Connection& connection);

    std::string m_directory;
    std::string m_socket_path;
    std::string m_token;
    int m_listener = -1;
    guint m_listen_source = 0;
    std::FILE* m_console = nullptr;
    std::map<std::uint64_t, PageEndpoint*> m_endpoints;
    std::map<std::uint64_t, std::weak_ptr<Connection>> m_page_connections;
    std::map<int, std::shared_ptr<Connection>> m_connections;
};

}  // namespace nb::shell
