#include "shell/channel/page_channel.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib/gstdio.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/variant_text.h"
#include "platform/automation/com_ptr.h"
#include "platform/glib/owned.h"
#include "platform/text/code_pages.h"
#include "shell/channel/channel_values.h"

namespace nb::shell {

struct PageChannel::Connection {
    int fd = -1;
    glib::Source source;
    bool greeted = false;
    std::uint32_t next_sequence = 1;
    std::string input;
    std::map<std::uint32_t, Frame> replies;
};

namespace {

constexpr int kTokenBytes = 16;
constexpr HRESULT kUnknownName = DISP_E_UNKNOWNNAME;

std::string RandomToken() {
    std::string token;
    for (int i = 0; i < kTokenBytes; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", g_random_int_range(0, 256));
        token += pair;
    }
    return token;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd wait{fd, POLLOUT, 0};
            poll(&wait, 1, 1000);
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

// Takes the first whole frame out of the buffer. False when none is whole
// yet; a malformed frame sets broken.
bool PopFrame(std::string& input, Frame* frame, bool* broken) {
    std::uint32_t size = 0;
    if (input.size() < sizeof size) return false;
    std::memcpy(&size, input.data(), sizeof size);
    if (size > kMaxFrameBytes) {
        *broken = true;
        return false;
    }
    if (input.size() < sizeof size + size) return false;
    // GVariant wants its data aligned: decode from an owned copy.
    const std::string body = input.substr(sizeof size, size);
    input.erase(0, sizeof size + size);
    if (!DecodeFrame(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), frame)) {
        *broken = true;
        return false;
    }
    return true;
}

// A unix-fd source calls its callback with the descriptor and condition;
// GLib stores it as a plain source function.
GSourceFunc FdCallback(GUnixFDSourceFunc function) {
    return reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(function));
}

void SetFailure(Frame& reply, HRESULT hr, const EXCEPINFO& exception) {
    reply.number = hr;
    if (exception.bstrDescription) reply.text = ToUtf8(NbBstrView(exception.bstrDescription));
}

}  // namespace

std::unique_ptr<PageChannel> PageChannel::Create(const std::string& runtime_dir) {
    std::unique_ptr<PageChannel> channel(new PageChannel());
    std::string pattern = runtime_dir + "/nbbrowser-XXXXXX";
    if (!g_mkdtemp(pattern.data())) return nullptr;
    channel->m_directory = pattern;
    channel->m_socket_path = pattern + "/pages";
    channel->m_token = RandomToken();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (channel->m_socket_path.size() >= sizeof address.sun_path) return nullptr;
    std::strcpy(address.sun_path, channel->m_socket_path.c_str());
    channel->m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (channel->m_listener < 0 ||
        bind(channel->m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(channel->m_listener, 16) != 0)
        return nullptr;
    const glib::Source source(g_unix_fd_source_new(channel->m_listener, G_IO_IN));
    g_source_set_callback(source.get(), FdCallback(&PageChannel::OnListenReady), channel.get(),
                          nullptr);
    g_source_set_can_recurse(source.get(), TRUE);
    channel->m_listen_source = g_source_attach(source.get(), nullptr);
    return channel;
}

PageChannel::~PageChannel() {
    for (auto& [fd, connection] : m_connections) Close(*connection);
    m_connections.clear();
    if (m_listen_source) g_source_remove(m_listen_source);
    if (m_listener >= 0) close(m_listener);
    if (!m_socket_path.empty()) g_unlink(m_socket_path.c_str());
    if (!m_directory.empty()) g_rmdir(m_directory.c_str());
}

gboolean PageChannel::OnListenReady(gint, GIOCondition, gpointer self) {
    static_cast<PageChannel*>(self)->Accept();
    return G_SOURCE_CONTINUE;
}

void PageChannel::Accept() {
    for (;;) {
        const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        // Only processes of this user may talk to the shell; the token then
        // proves the peer was started by this shell.
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != getuid()) {
            close(fd);
            continue;
        }
        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        connection->source.reset(
            g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR)));
        struct Binding {
            PageChannel* channel;
            int fd;
        };
        g_source_set_callback(
            connection->source.get(),
            FdCallback(+[](gint, GIOCondition, gpointer data) -> gboolean {
                auto* binding = static_cast<Binding*>(data);
                const auto found = binding->channel->m_connections.find(binding->fd);
                if (found == binding->channel->m_connections.end()) return G_SOURCE_REMOVE;
                const std::shared_ptr<Connection> held = found->second;
                binding->channel->Serve(held);
                return held->fd < 0 ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
            }),
            new Binding{this, fd}, [](gpointer data) { delete static_cast<Binding*>(data); });
        g_source_set_can_recurse(connection->source.get(), TRUE);
        g_source_attach(connection->source.get(), nullptr);
        m_connections[fd] = connection;
    }
}

void PageChannel::Close(Connection& connection) {
    if (connection.fd < 0) return;
    if (connection.source) {
        g_source_destroy(connection.source.get());
        connection.source.reset();
    }
    close(connection.fd);
    connection.fd = -1;
}

void PageChannel::Serve(const std::shared_ptr<Connection>& connection) {
    char chunk[65536];
    for (;;) {
        const ssize_t n = recv(connection->fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            connection->input.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        // End of stream or error: the web process is gone.
        const int fd = connection->fd;
        Close(*connection);
        m_connections.erase(fd);
        return;
    }
    bool broken = false;
    Frame frame;
    while (connection->fd >= 0 && PopFrame(connection->input, &frame, &broken))
        Handle(connection, frame);
    if (broken) {
        const int fd = connection->fd;
        Close(*connection);
        m_connections.erase(fd);
    }
}

void PageChannel::Handle(const std::shared_ptr<Connection>& connection, Frame& frame) {
    if (!connection->greeted) {
        // The first frame must be the hello with this shell's token.
        if (frame.kind != FrameKind::kNote || frame.op != FrameOp::kHello ||
            frame.text != m_token) {
            const int fd = connection->fd;
            Close(*connection);
            m_connections.erase(fd);
            return;
        }
        connection->greeted = true;
    }
    if (frame.kind == FrameKind::kReply) {
        connection->replies[frame.sequence] = std::move(frame);
        return;
    }
    if (frame.kind == FrameKind::kNote) {
        if (frame.op == FrameOp::kHello && frame.text == m_token)
            m_page_connections[frame.page] = connection;
        if (frame.op == FrameOp::kConsole && m_console) {
            std::fprintf(m_console, "console: %s\n", frame.text.c_str());
            std::fflush(m_console);
        }
        return;
    }
    Frame reply;
    reply.kind = FrameKind::kReply;
    reply.sequence = frame.sequence;
    reply.op = frame.op;
    reply.page = frame.page;
    reply.number = E_FAIL;
    m_page_connections[frame.page] = connection;
    const auto endpoint = m_endpoints.find(frame.page);
    if (endpoint != m_endpoints.end()) {
        PageEndpoint* target = endpoint->second;
        IDispatch* object = target->ExternalObject();
        EXCEPINFO exception{};
        Variant result;
        HRESULT hr = E_FAIL;
        switch (frame.op) {
            case FrameOp::kLookUp: {
                DISPID dispid = 0;
                bool is_method = false;
                hr = target->LookUpMember(ToUtf16(frame.text), &dispid, &is_method);
                reply.number = SUCCEEDED(hr) ? dispid : hr;
                if (SUCCEEDED(hr)) reply.AddValue(g_variant_new_boolean(is_method));
                break;
            }
            case FrameOp::kGet: {
                DISPPARAMS none{nullptr, nullptr, 0, 0};
                hr = object->Invoke(frame.number, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result,
                                    &exception, nullptr);
                break;
            }
            case FrameOp::kPut: {
                Variant value;
                if (frame.values.size() == 1 &&
                    SUCCEEDED(FromChannelValue(frame.values[0], &value))) {
                    DISPID named = DISPID_PROPERTYPUT;
                    DISPPARAMS params{&value, &named, 1, 1};
                    hr = object->Invoke(frame.number, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params,
                                        nullptr, &exception, nullptr);
                }
                break;
            }
            case FrameOp::kCall: {
                const std::size_t count = frame.values.size();
                std::unique_ptr<Variant[]> arguments(new Variant[count ? count : 1]);
                hr = S_OK;
                // DISPPARAMS holds the last script argument first.
                for (std::size_t i = 0; i < count && SUCCEEDED(hr); ++i)
                    hr = FromChannelValue(frame.values[i], &arguments[count - 1 - i]);
                if (SUCCEEDED(hr)) {
                    DISPPARAMS params{arguments.get(), nullptr, static_cast<UINT>(count), 0};
                    UINT argument_error = 0;
                    hr = object->Invoke(frame.number, IID_NULL, 0, DISPATCH_METHOD, &params,
                                        &result, &exception, &argument_error);
                }
                break;
            }
            default:
                break;
        }
        if (frame.op != FrameOp::kLookUp) {
            if (FAILED(hr)) {
                SetFailure(reply, hr, exception);
            } else {
                reply.number = hr;
                reply.AddValue(ToChannelValue(result));
            }
        }
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    } else if (frame.op == FrameOp::kLookUp) {
        reply.number = kUnknownName;
    }
    if (connection->fd >= 0 && !WriteAll(connection->fd, EncodeFrame(reply))) {
        const int fd = connection->fd;
        Close(*connection);
        m_connections.erase(fd);
    }
}

HRESULT PageChannel::CallPage(std::uint64_t page, std::u16string_view name,
                              const DISPPARAMS* arguments, VARIANT* result) {
    const auto found = m_page_connections.find(page);
    std::shared_ptr<Connection> connection =
        found == m_page_connections.end() ? nullptr : found->second.lock();
    if (!connection || connection->fd < 0) return E_FAIL;
    Frame request;
    request.kind = FrameKind::kRequest;
    request.sequence = connection->next_sequence++;
    request.op = FrameOp::kCallPage;
    request.page = page;
    request.text = ToUtf8(name);
    const UINT count = arguments ? arguments->cArgs : 0;
    for (UINT i = 0; i < count; ++i)
        request.AddValue(ToChannelValue(arguments->rgvarg[count - 1 - i]));
    if (!WriteAll(connection->fd, EncodeFrame(request))) return E_FAIL;
    // The reply arrives through the connection's source; everything else the
    // UI thread does keeps running meanwhile.
    while (connection->fd >= 0 && !connection->replies.contains(request.sequence))
        g_main_context_iteration(nullptr, TRUE);
    const auto reply = connection->replies.find(request.sequence);
    if (reply == connection->replies.end()) return E_FAIL;
    const HRESULT hr = reply->second.number;
    if (SUCCEEDED(hr) && result && !reply->second.values.empty())
        FromChannelValue(reply->second.values[0], result);
    connection->replies.erase(reply);
    return hr;
}

}  // namespace nb::shell
