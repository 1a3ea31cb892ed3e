// EX_BTSend to a real OBEX server: openobex's obex_tcp, started by the test
// in a folder of its own, where it writes what it receives. It listens on
// TCP port 650 and ends after one object.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "external/bluetooth/tests/push_test_support.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

extern char** environ;

namespace nb::external::bluetooth::testing {
namespace {

using nb::external::testing::ReportKind;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;

// Whether something listens on TCP port 650, as the kernel's tables say
// (a probing connection would be taken for a client).
bool ListeningOn650() {
    for (const char* table : {"/proc/net/tcp6", "/proc/net/tcp"}) {
        std::ifstream lines(table);
        std::string line;
        std::getline(lines, line);  // the column names
        while (std::getline(lines, line)) {
            // "sl local_address rem_address st ...": port 650 is 028A, LISTEN is 0A.
            if (line.find(":028A ") != std::string::npos && line.find(" 0A ") != std::string::npos)
                return true;
        }
    }
    return false;
}

class ObexServer {
   public:
    explicit ObexServer(const std::string& folder) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char program[] = "obex_tcp";
        char* arguments[] = {program, nullptr};
        if (posix_spawnp(&m_pid, program, &actions, nullptr, arguments, environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ObexServer() {
        if (m_pid > 0 && !m_ended) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool WaitUntilListening() {
        for (int i = 0; i < 100 && m_pid > 0; ++i) {
            if (ListeningOn650()) return true;
            ::usleep(50000);
        }
        return false;
    }
    // obex_tcp ends once it has written the object.
    bool WaitForEnd() {
        for (int i = 0; i < 200 && m_pid > 0; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) return m_ended = true;
            ::usleep(50000);
        }
        return false;
    }

   private:
    pid_t m_pid = -1;
    bool m_ended = false;
};

TEST(ObexServerTest, ReceivesAGeneratedRingtoneByteForByte) {
    TemporaryFolder folder;
    const std::string ringtone = folder / "ringtone.3gp";
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i 'sine=frequency=880:duration=4' "
                           "-c:a aac -b:a 48k '" +
                           ringtone + "'")
                              .c_str()),
              0);
    const std::filesystem::path received = std::filesystem::path(folder.path()) / "inbox";
    std::filesystem::create_directory(received);
    ASSERT_FALSE(ListeningOn650()) << "another program holds TCP port 650";
    ObexServer server(received.string());
    ASSERT_TRUE(server.WaitUntilListening());

    ShellDouble shell;
    const WorkerRun run =
        RunWorker(shell, "EX_BTSend", {u"localhost:650", ToUtf16(ringtone), u"Bells.3gp"});
    ASSERT_TRUE(server.WaitForEnd());
    ASSERT_FALSE(run.reports.empty());
    EXPECT_EQ(run.reports.back().kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(run.reports.back()), std::vector<LONGLONG>{3302});
    const auto size = static_cast<LONGLONG>(std::filesystem::file_size(ringtone));
    EXPECT_EQ(Numbers(run.reports.front()), (std::vector<LONGLONG>{3300, 0, size}));
    EXPECT_EQ(ReadFile((received / "Bells.3gp").string()), ReadFile(ringtone));
}

}  // namespace
}  // namespace nb::external::bluetooth::testing
