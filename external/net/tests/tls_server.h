// An HTTPS server on loopback whose certificate no system trusts: made by the
// openssl command line for 127.0.0.1 and served by Python's ssl module, in a
// process started here and ended with the object.
#pragma once

#include <sys/types.h>

#include <string>

namespace nb::external::testing {

class TlsServer {
   public:
    explicit TlsServer(const std::string& folder);
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    bool Running() const { return m_port != 0; }
    std::string Url() const { return "https://127.0.0.1:" + std::to_string(m_port) + "/"; }
    // True once a client connected and the server tried a handshake with it.
    bool SawHandshake();

   private:
    std::string ReadLine(int timeout_ms);

    pid_t m_pid = -1;
    int m_output = -1;
    int m_port = 0;
    std::string m_pending;
};

}  // namespace nb::external::testing
