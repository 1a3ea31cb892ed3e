// EX_BTSend to a real OBEX server: openobex's obex_tcp, started by the test
// in a folder of its own, where it writes what it receives.
#include "external/bluetooth/tests/obex_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "external/bluetooth/tests/push_test_support.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::bluetooth::testing {
namespace {

using nb::external::testing::ReportKind;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;

TEST(ObexServerTest, ReceivesAGeneratedRingtoneByteForByte) {
    TemporaryFolder folder;
    const std::string ringtone = folder / "ringtone.3gp";
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i 'sine=frequency=880:duration=4' "
                           "-c:a aac -b:a 48k '" +
                           ringtone + "'")
                              .c_str()),
              0);
    const std::filesystem::path inbox = std::filesystem::path(folder.path()) / "inbox";
    std::filesystem::create_directory(inbox);
    ObexServer server(inbox.string());
    ASSERT_TRUE(server.listening()) << "obex_tcp does not listen on TCP port 650";

    ShellDouble shell;
    const WorkerRun run =
        RunWorker(shell, "EX_BTSend", {u"localhost:650", ToUtf16(ringtone), u"Bells.3gp"});
    ASSERT_TRUE(server.WaitForEnd());
    ASSERT_FALSE(run.reports.empty());
    EXPECT_EQ(run.reports.back().kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(run.reports.back()), std::vector<LONGLONG>{3302});
    const auto size = static_cast<LONGLONG>(std::filesystem::file_size(ringtone));
    EXPECT_EQ(Numbers(run.reports.front()), (std::vector<LONGLONG>{3300, 0, size}));
    EXPECT_EQ(ReadFile((inbox / "Bells.3gp").string()), ReadFile(ringtone));
}

}  // namespace
}  // namespace nb::external::bluetooth::testing
