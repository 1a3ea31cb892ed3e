#include "external/bluetooth/tests/obex_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace nb::external::bluetooth::testing {
namespace {

using std::chrono::milliseconds;

constexpr int kFreeRounds = 650;   // of 100 ms: TIME_WAIT lasts 60 s
constexpr int kStartRounds = 100;  // of 50 ms
constexpr int kEndRounds = 200;    // of 50 ms
constexpr const char* kListening = "0A";

// The states of the sockets on local port 650, from the kernel's tables:
// "sl local_address rem_address st ...", the port in hexadecimal (028A).
template <typename Visit>
void ForEachPort650Socket(Visit visit) {
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream lines(table);
        std::string line;
        std::getline(lines, line);  // the column names
        while (std::getline(lines, line)) {
            std::istringstream columns(line);
            std::string slot, local, remote, state;
            columns >> slot >> local >> remote >> state;
            if (local.size() > 5 && local.ends_with(":028A")) visit(state);
        }
    }
}

bool ListeningOn650() {
    bool listening = false;
    ForEachPort650Socket([&](const std::string& state) { listening |= state == kListening; });
    return listening;
}

}  // namespace

bool Port650InUse() {
    bool used = false;
    ForEachPort650Socket([&](const std::string&) { used = true; });
    return used;
}

ObexServer::ObexServer(const std::string& folder) {
    for (int round = 0; round < kFreeRounds && Port650InUse(); ++round)
        std::this_thread::sleep_for(milliseconds(100));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char program[] = "obex_tcp";
    char* arguments[] = {program, nullptr};
    if (posix_spawnp(&m_pid, program, &actions, nullptr, arguments, environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int round = 0; round < kStartRounds && m_pid > 0; ++round) {
        if ((m_listening = ListeningOn650())) break;
        std::this_thread::sleep_for(milliseconds(50));
    }
}

ObexServer::~ObexServer() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
}

bool ObexServer::WaitForEnd() {
    for (int round = 0; round < kEndRounds && m_pid > 0; ++round) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return true;
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    return m_pid < 0;
}

}  // namespace nb::external::bluetooth::testing
