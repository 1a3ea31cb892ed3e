// openobex's obex_tcp (Debian's openobex-apps) receiving one object into a
// folder of its own. It always listens on TCP port 650, without
// SO_REUSEADDR, so it cannot start while the system still holds a closed
// connection of that port; and it ends once it has written the object.
#pragma once

#include <sys/types.h>

#include <string>

namespace nb::external::bluetooth::testing {

class ObexServer {
   public:
    // Waits (up to a minute) until port 650 is free, starts obex_tcp in
    // folder and waits until it listens.
    explicit ObexServer(const std::string& folder);
    // Ends it if it still runs.
    ~ObexServer();
    ObexServer(const ObexServer&) = delete;
    ObexServer& operator=(const ObexServer&) = delete;

    bool listening() const { return m_listening; }
    // Waits up to ten seconds for its end; true once it has ended.
    bool WaitForEnd();

   private:
    pid_t m_pid = -1;
    bool m_listening = false;
};

// Any socket of this machine on local TCP port 650, listening or closed
// and not yet released.
bool Port650InUse();

}  // namespace nb::external::bluetooth::testing
