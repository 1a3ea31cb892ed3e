#include "external/net/tests/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <vector>

namespace nb::net_testing {
namespace {

constexpr std::size_t kReadBytes = 256 * 1024;
constexpr std::size_t kLongestHead = 64 * 1024;
constexpr int kBacklog = 16;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

const char* ReasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 307:
            return "Temporary Redirect";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

}  // namespace

std::optional<std::string> ReceivedRequest::Header(std::string_view name) const {
    std::string_view rest(head);
    rest.remove_prefix(std::min(rest.size(), rest.find("\r\n") + 2));
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && SameName(line.substr(0, colon), name))
            return std::string(Trimmed(line.substr(colon + 1)));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 2);
    }
    return std::nullopt;
}

bool Exchange::Stopping() const {
    pollfd stop{m_server.m_stop_pipe[0], POLLIN, 0};
    return ::poll(&stop, 1, 0) > 0;
}

std::optional<std::size_t> Exchange::Receive(char* buffer, std::size_t capacity) {
    pollfd ready[2] = {{m_fd, POLLIN, 0}, {m_server.m_stop_pipe[0], POLLIN, 0}};
    for (;;) {
        if (::poll(ready, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (ready[1].revents != 0) return std::nullopt;
        const ssize_t got = ::recv(m_fd, buffer, capacity, 0);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR && errno != EAGAIN) return std::nullopt;
    }
}

bool Exchange::ReadHead() {
    std::vector<char> buffer(kReadBytes);
    std::string& head = m_request.head;
    for (;;) {
        const std::size_t end = head.find("\r\n\r\n");
        if (end != std::string::npos) {
            m_early_body = head.substr(end + 4);
            head.resize(end + 4);
            Record();
            return true;
        }
        if (head.size() > kLongestHead) return false;
        const std::optional<std::size_t> got = Receive(buffer.data(), buffer.size());
        if (!got || *got == 0) return false;
        head.append(buffer.data(), *got);
    }
}

std::optional<std::uint64_t> Exchange::AnnouncedLength() const {
    const std::optional<std::string> length = m_request.Header("Content-Length");
    if (!length) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(length->data(), length->data() + length->size(), value);
    if (error != std::errc() || end != length->data() + length->size()) return std::nullopt;
    return value;
}

bool Exchange::ReceiveBody(std::uint64_t bytes, bool keep, std::size_t slice_bytes,
                           std::chrono::milliseconds pause) {
    std::uint64_t received = std::min<std::uint64_t>(m_early_body.size(), bytes);
    if (keep) m_request.body.assign(m_early_body, 0, static_cast<std::size_t>(received));
    std::vector<char> buffer(std::min(slice_bytes, kReadBytes));
    bool whole = true;
    while (received < bytes) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), bytes - received));
        const std::optional<std::size_t> got = Receive(buffer.data(), want);
        if (!got || *got == 0) {
            whole = false;
            break;
        }
        if (keep) m_request.body.append(buffer.data(), *got);
        received += *got;
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
    }
    if (keep) Record();
    return whole;
}

bool Exchange::ReadBody() {
    return ReceiveBody(AnnouncedLength().value_or(0), true, kReadBytes,
                       std::chrono::milliseconds(0));
}

std::uint64_t Exchange::DrainBody() {
    const std::uint64_t announced = AnnouncedLength().value_or(0);
    std::uint64_t received = std::min<std::uint64_t>(m_early_body.size(), announced);
    std::vector<char> buffer(kReadBytes);
    while (received < announced) {
        const std::optional<std::size_t> got = Receive(
            buffer.data(),
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), announced - received)));
        if (!got || *got == 0) break;
        received += *got;
    }
    return received;
}

bool Exchange::ReadBodySlowly(std::size_t slice_bytes, std::chrono::milliseconds pause) {
    return ReceiveBody(AnnouncedLength().value_or(0), true, slice_bytes, pause);
}

bool Exchange::Send(std::string_view bytes) {
    pollfd ready[2] = {{m_fd, POLLOUT, 0}, {m_server.m_stop_pipe[0], POLLIN, 0}};
    while (!bytes.empty()) {
        if (::poll(ready, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (ready[1].revents != 0) return false;
        const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void Exchange::WaitForClientToLeave() {
    std::vector<char> buffer(kReadBytes);
    for (;;) {
        const std::optional<std::size_t> got = Receive(buffer.data(), buffer.size());
        if (!got || *got == 0) return;
    }
}

void Exchange::Record() {
    if (!m_index) m_index = m_server.AddRequest();
    m_server.SetRequest(*m_index, m_request);
}

LoopbackServer::LoopbackServer(Responder responder) : m_responder(std::move(responder)) {
    if (::pipe2(m_stop_pipe, O_CLOEXEC) != 0) return;
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int reuse = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, kBacklog) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
    if (m_stop_pipe[1] >= 0) {
        const char stop = 1;
        static_cast<void>(::write(m_stop_pipe[1], &stop, 1));
    }
    if (m_thread.joinable()) m_thread.join();
    for (int fd : {m_listener, m_stop_pipe[0], m_stop_pipe[1]})
        if (fd >= 0) ::close(fd);
}

std::string LoopbackServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

std::vector<ReceivedRequest> LoopbackServer::Requests() const {
    std::lock_guard lock(m_lock);
    return m_requests;
}

std::size_t LoopbackServer::AddRequest() {
    std::lock_guard lock(m_lock);
    m_requests.emplace_back();
    return m_requests.size() - 1;
}

void LoopbackServer::SetRequest(std::size_t index, const ReceivedRequest& request) {
    std::lock_guard lock(m_lock);
    m_requests[index] = request;
}

void LoopbackServer::Serve() {
    pollfd ready[2] = {{m_listener, POLLIN, 0}, {m_stop_pipe[0], POLLIN, 0}};
    for (;;) {
        if (::poll(ready, 2, -1) < 0 && errno != EINTR) return;
        if (ready[1].revents != 0) return;
        if ((ready[0].revents & POLLIN) == 0) continue;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Handle(fd);
        ::close(fd);
    }
}

void LoopbackServer::Handle(int fd) {
    Exchange exchange(*this, fd);
    // A connection that sends no head (a client that gave up) is no request.
    if (exchange.ReadHead()) m_responder(exchange);
}

std::string HttpAnswer(int status, std::string_view body, std::string_view extra_headers) {
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + ReasonOf(status) + "\r\n";
    answer += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    answer += "Connection: close\r\n";
    answer.append(extra_headers).append("\r\n").append(body);
    return answer;
}

Responder Answer(int status, std::string body, std::string extra_headers) {
    return [=](Exchange& exchange) {
        exchange.ReadBody();
        exchange.Send(HttpAnswer(status, body, extra_headers));
    };
}

}  // namespace nb::net_testing
