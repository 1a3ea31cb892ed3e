#include "external/net/tests/tls_server.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

extern char** environ;

namespace nb::external::testing {
namespace {

constexpr int kStartMs = 10000;

// Prints its port, then "handshake" for every connection it tried one with.
constexpr const char* kServer = R"(
import socket, ssl, sys
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1], sys.argv[2])
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(4)
print(listener.getsockname()[1], flush=True)
while True:
    connection, _ = listener.accept()
    print("handshake", flush=True)
    try:
        secure = context.wrap_socket(connection, server_side=True)
        secure.recv(65536)
        secure.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok")
        secure.close()
    except (ssl.SSLError, OSError):
        connection.close()
)";

bool RunQuietly(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

TlsServer::TlsServer(const std::string& folder) {
    const std::string key = folder + "/tls-key.pem", certificate = folder + "/tls-cert.pem";
    if (!RunQuietly("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                    "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
                    key + "' -out '" + certificate + "'"))
        return;
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    std::vector<std::string> words = {"python3", "-c", kServer, certificate, key};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const bool spawned =
        posix_spawnp(&m_pid, "python3", &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_ends[1]);
    m_output = pipe_ends[0];
    if (!spawned) {
        m_pid = -1;
        return;
    }
    m_port = std::atoi(ReadLine(kStartMs).c_str());
}

TlsServer::~TlsServer() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_output >= 0) ::close(m_output);
}

std::string TlsServer::ReadLine(int timeout_ms) {
    for (;;) {
        const std::size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        pollfd ready{m_output, POLLIN, 0};
        char buffer[256];
        if (::poll(&ready, 1, timeout_ms) <= 0) return {};
        const ssize_t got = ::read(m_output, buffer, sizeof buffer);
        if (got <= 0) return {};
        m_pending.append(buffer, static_cast<std::size_t>(got));
    }
}

bool TlsServer::SawHandshake() { return ReadLine(1000) == "handshake"; }

}  // namespace nb::external::testing
