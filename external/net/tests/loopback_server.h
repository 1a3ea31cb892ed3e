// A real HTTP server on 127.0.0.1 for the network tests and benchmark: it
// listens on a port of its own from construction to destruction, takes one
// connection at a time on its own thread, reads each request's head, records
// the exact bytes it received, and lets a responder decide what the client
// gets (an answer, a redirect, a body that never ends, a connection that
// breaks off...).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace nb::net_testing {

struct ReceivedRequest {
    std::string head;  // the request line, the header lines and the empty line
    std::string body;  // as far as the responder read it

    std::string Bytes() const { return head + body; }
    std::string RequestLine() const { return head.substr(0, head.find("\r\n")); }
    // The value of the first header line of that name (any case), trimmed.
    std::optional<std::string> Header(std::string_view name) const;
};

class LoopbackServer;

// One connection's request and the server's side of it.
class Exchange {
   public:
    Exchange(LoopbackServer& server, int fd) : m_server(server), m_fd(fd) {}

    const ReceivedRequest& request() const { return m_request; }
    // Reads the head; false when the client left or sent no HTTP head.
    bool ReadHead();
    // Reads the body the head announces (Content-Length) and records it;
    // false when the client left first.
    bool ReadBody();
    // Reads the announced body without keeping it; the bytes that came.
    std::uint64_t DrainBody();
    // Reads the announced body slice by slice with a pause after each, and
    // records it.
    bool ReadBodySlowly(std::size_t slice_bytes, std::chrono::milliseconds pause);
    // False once the client has gone or the server is stopping.
    bool Send(std::string_view bytes);
    // Returns when the client closes its end or the server stops.
    void WaitForClientToLeave();
    bool Stopping() const;

   private:
    std::optional<std::uint64_t> AnnouncedLength() const;
    // Waits for bytes; what came (0 at the end), nothing on a stop or failure.
    std::optional<std::size_t> Receive(char* buffer, std::size_t capacity);
    bool ReceiveBody(std::uint64_t bytes, bool keep, std::size_t slice_bytes,
                     std::chrono::milliseconds pause);
    void Record();

    LoopbackServer& m_server;
    int m_fd;
    std::optional<std::size_t> m_index;  // in the server's list, once recorded
    ReceivedRequest m_request;
    std::string m_early_body;  // bytes read past the head
};

using Responder = std::function<void(Exchange&)>;

class LoopbackServer {
   public:
    explicit LoopbackServer(Responder responder);
    // Stops: a responder still sending or waiting sees Stopping() and ends.
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::string Url(std::string_view path = "/") const;
    // Every request so far, in the order their heads arrived.
    std::vector<ReceivedRequest> Requests() const;

   private:
    friend class Exchange;
    void Serve();
    void Handle(int fd);
    std::size_t AddRequest();
    void SetRequest(std::size_t index, const ReceivedRequest& request);

    Responder m_responder;
    int m_listener = -1;
    int m_stop_pipe[2] = {-1, -1};
    std::uint16_t m_port = 0;
    mutable std::mutex m_lock;
    std::vector<ReceivedRequest> m_requests;
    std::thread m_thread;
};

// "HTTP/1.1 <status> <reason>" with Content-Length, "Connection: close", the
// extra header lines (each ending in CR LF) and the body.
std::string HttpAnswer(int status, std::string_view body, std::string_view extra_headers = {});

// Reads the request's body, then sends HttpAnswer.
Responder Answer(int status, std::string body, std::string extra_headers = {});

}  // namespace nb::net_testing
