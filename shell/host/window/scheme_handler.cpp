#include "shell/host/window/scheme_handler.h"

#include <fcntl.h>
#include <gio/gunixinputstream.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/glib/owned.h"
#include "platform/text/code_pages.h"
#include "shell/server/protocol_handler.h"

namespace nb::shell {
namespace {

constexpr ULONG kReadChunk = 64 * 1024;
constexpr gsize kMaxPostBytes = 256u << 20;

std::string EscapeForScript(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || c == '\'' ||
            static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

// One x-mrs request: the server's sink on one side, a WebKit response fed
// through a pipe on the other, so CGI output reaches the page as it comes.
class SchemeRequest final : public server::ProtocolSink,
                            public server::HttpNegotiate,
                            public server::BindInfoSource,
                            public std::enable_shared_from_this<SchemeRequest> {
   public:
    explicit SchemeRequest(WebKitURISchemeRequest* request) : m_request(glib::Ref(request)) {}
    ~SchemeRequest() override {
        if (m_watch) g_source_remove(m_watch);
        if (m_pipe >= 0) close(m_pipe);
    }

    void Begin() {
        const std::u16string url = ToUtf16(webkit_uri_scheme_request_get_uri(m_request.get()));
        const HRESULT hr = m_handler.Start(reinterpret_cast<LPCWSTR>(url.c_str()),
                                           shared_from_this(), shared_from_this(), 0, 0);
        if (hr == INET_E_REDIRECTING) {
            // A scheme response cannot redirect: a small page moves on instead.
            const std::string target = EscapeForScript(ToUtf8(m_redirect));
            const std::string page =
                "<!DOCTYPE html><script>location.replace(\"" + target + "\")</script>";
            m_status = 200;
            m_content_type = "text/html";
            m_headers.clear();
            m_pending = page;
            m_end = true;
            m_handler.Terminate(0);
            m_terminated = true;
            Respond();
            Flush();
            return;
        }
        if (FAILED(hr)) {
            const glib::Error error(g_error_new(G_IO_ERROR, G_IO_ERROR_FAILED,
                                                "x-mrs request failed (0x%08X)",
                                                static_cast<unsigned>(hr)));
            webkit_uri_scheme_request_finish_error(m_request.get(), error.get());
            m_handler.Terminate(0);
            m_terminated = true;
            Release();
            return;
        }
        Pump();
    }

    // ProtocolSink
    void ReportProgress(ULONG code, std::u16string_view text) override {
        if (code == server::BINDSTATUS_REDIRECTING) m_redirect = text;
        if (code == server::BINDSTATUS_MIMETYPEAVAILABLE ||
            (code == server::BINDSTATUS_VERIFIEDMIMETYPEAVAILABLE && m_content_type.empty()))
            m_content_type = ToUtf8(text);
    }
    void ReportData(DWORD, ULONG, ULONG) override {
        // From the reader thread for CGI pages: the pump runs on the UI thread.
        auto* held = new std::weak_ptr<SchemeRequest>(weak_from_this());
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                if (auto self = static_cast<std::weak_ptr<SchemeRequest>*>(data)->lock())
                    self->Pump();
                return G_SOURCE_REMOVE;
            },
            held, [](gpointer data) { delete static_cast<std::weak_ptr<SchemeRequest>*>(data); });
    }
    void ReportResult(HRESULT, DWORD, std::u16string_view) override {}
    server::HttpNegotiate* Negotiator() override { return this; }

    // HttpNegotiate
    HRESULT OnResponse(DWORD status, std::u16string_view headers) override {
        m_status = status;
        m_headers = ToUtf8(headers);
        return S_OK;
    }

    // BindInfoSource
    HRESULT GetBindInfo(DWORD* bind_flags, server::BindInfo* info) override {
        *bind_flags = 0;
        const gchar* method = webkit_uri_scheme_request_get_http_method(m_request.get());
        if (method && g_ascii_strcasecmp(method, "POST") == 0) {
            info->verb = server::BindVerb::Post;
            if (const auto body =
                    glib::Take(webkit_uri_scheme_request_get_http_body(m_request.get()))) {
                std::string data;
                char chunk[16384];
                gssize n = 0;
                while ((n = g_input_stream_read(body.get(), chunk, sizeof chunk, nullptr,
                                                nullptr)) > 0 &&
                       data.size() < kMaxPostBytes)
                    data.append(chunk, static_cast<std::size_t>(n));
                info->medium = server::PostMedium::Memory;
                info->post_data_size = static_cast<DWORD>(data.size());
                info->post_data = std::move(data);
            }
        }
        return S_OK;
    }
    HRESULT GetPostDataMime(std::optional<std::u16string>* mime) override {
        SoupMessageHeaders* headers = webkit_uri_scheme_request_get_http_headers(m_request.get());
        const char* type =
            headers ? soup_message_headers_get_one(headers, "Content-Type") : nullptr;
        if (!type) return E_FAIL;
        *mime = ToUtf16(type);
        return S_OK;
    }

   private:
    void Respond() {
        if (m_responded) return;
        m_responded = true;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            const glib::Error error(
                g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED, "x-mrs: no pipe"));
            webkit_uri_scheme_request_finish_error(m_request.get(), error.get());
            return;
        }
        fcntl(fds[1], F_SETFL, O_NONBLOCK);
        m_pipe = fds[1];
        const auto response = glib::Take(webkit_uri_scheme_response_new(
            glib::Take(g_unix_input_stream_new(fds[0], TRUE)).get(), -1));
        webkit_uri_scheme_response_set_status(
            response.get(), m_status >= 100 && m_status <= 599 ? m_status : 200, nullptr);
        std::string type = m_content_type.empty() ? "text/html" : m_content_type;
        webkit_uri_scheme_response_set_content_type(response.get(),
                                                    type.substr(0, type.find(';')).c_str());
        SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
        // The header text: a status line, then "Name: value" lines.
        std::size_t at = m_headers.find('\n');
        while (at != std::string::npos && at + 1 < m_headers.size()) {
            const std::size_t end = m_headers.find('\n', at + 1);
            std::string line = m_headers.substr(
                at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos && colon > 0) {
                std::string value = line.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                soup_message_headers_append(headers, line.substr(0, colon).c_str(), value.c_str());
            }
            at = end;
        }
        if (!soup_message_headers_get_one(headers, "Content-Type"))
            soup_message_headers_append(headers, "Content-Type", type.c_str());
        webkit_uri_scheme_response_set_http_headers(response.get(), headers);
        webkit_uri_scheme_request_finish_with_response(m_request.get(), response.get());
    }

    void Pump() {
        if (m_terminated) return;
        Respond();
        char chunk[kReadChunk];
        for (;;) {
            ULONG count = 0;
            const HRESULT hr = m_handler.Read(chunk, sizeof chunk, &count);
            if (count) m_pending.append(chunk, count);
            if (hr == S_FALSE) {
                m_end = true;
                break;
            }
            if (hr != S_OK) break;
        }
        if (m_end && !m_terminated) {
            m_handler.Terminate(0);
            m_terminated = true;
        }
        Flush();
    }

    void Flush() {
        while (m_pipe >= 0 && !m_pending.empty()) {
            const ssize_t n = write(m_pipe, m_pending.data(), m_pending.size());
            if (n > 0) {
                m_pending.erase(0, static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EAGAIN) {
                WaitForRoom();
                return;
            } else if (!(n < 0 && errno == EINTR)) {
                // The page went away: stop the work behind it.
                m_pending.clear();
                close(m_pipe);
                m_pipe = -1;
                if (!m_terminated) {
                    m_handler.Abort(E_ABORT, 0);
                    m_handler.Terminate(0);
                    m_terminated = true;
                }
                Release();
                return;
            }
        }
        if (m_end && m_pending.empty() && m_pipe >= 0) {
            close(m_pipe);
            m_pipe = -1;
            Release();
        }
    }

    void WaitForRoom() {
        if (m_watch) return;
        auto* held = new std::weak_ptr<SchemeRequest>(weak_from_this());
        m_watch = g_unix_fd_add_full(
            G_PRIORITY_DEFAULT, m_pipe, G_IO_OUT,
            [](gint, GIOCondition, gpointer data) -> gboolean {
                if (auto self = static_cast<std::weak_ptr<SchemeRequest>*>(data)->lock()) {
                    self->m_watch = 0;
                    self->Flush();
                }
                return G_SOURCE_REMOVE;
            },
            held, [](gpointer data) { delete static_cast<std::weak_ptr<SchemeRequest>*>(data); });
    }

    // The request keeps itself alive until its body is written.
    void Release() { m_self.reset(); }

   public:
    std::shared_ptr<SchemeRequest> m_self;

   private:
    glib::Object<WebKitURISchemeRequest> m_request;
    server::CProtocolHandler m_handler;
    std::u16string m_redirect;
    std::string m_content_type;
    std::string m_headers;
    DWORD m_status = 200;
    std::string m_pending;
    int m_pipe = -1;
    guint m_watch = 0;
    bool m_responded = false;
    bool m_end = false;
    bool m_terminated = false;
};

void OnSchemeRequest(WebKitURISchemeRequest* request, gpointer) {
    auto served = std::make_shared<SchemeRequest>(request);
    served->m_self = served;
    served->Begin();
}

}  // namespace

void RegisterSchemeHandler(WebKitWebContext* context, const char* scheme, const std::u16string&) {
    webkit_web_context_register_uri_scheme(context, scheme, OnSchemeRequest, nullptr, nullptr);
}

}  // namespace nb::shell
