#include "external/net/tests/net_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"

namespace nb::external::testing {
namespace {

constexpr const char* kProxyVariables[] = {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                           "ALL_PROXY",  "no_proxy",    "NO_PROXY"};

}  // namespace

NetTest::CacheSetting::CacheSetting(const std::string& folder) {
    NbSetUrlCacheDirectory(folder.c_str());
}

NetTest::CacheSetting::~CacheSetting() { NbSetUrlCacheDirectory(nullptr); }

NetTest::NetTest() {
    for (const char* name : kProxyVariables)
        m_no_proxy.push_back(std::make_unique<ScopedVariable>(name, std::nullopt));
}

DWORD NetTest::Start(const char* export_name, std::initializer_list<TestValue> arguments,
                     const char16_t* callback) {
    const CallOutcome outcome = m_shell.Call(LoadExport(export_name), arguments, callback);
    EXPECT_EQ(outcome.hr, S_OK) << ToUtf8(outcome.description);
    EXPECT_EQ(outcome.result.type, VT_I4);
    return static_cast<DWORD>(outcome.result.number);
}

std::vector<Report> NetTest::Finish(DWORD thread, DWORD timeout_ms) {
    EXPECT_TRUE(m_shell.WaitUntilFinished(thread, timeout_ms));
    if (m_shell.HasFinished(thread)) {
        EXPECT_EQ(m_shell.ExitCodeOf(thread), NB_WORKER_EXIT_NORMAL);
    }
    return m_shell.ReportsOf(thread);
}

std::vector<Report> NetTest::Run(const char* export_name,
                                 std::initializer_list<TestValue> arguments,
                                 const char16_t* callback) {
    return Finish(Start(export_name, arguments, callback));
}

void NetTest::ExpectRefusedBeforeAnyThread(const char* export_name, const char16_t* source,
                                           const BadCall& call) {
    const CallOutcome outcome = m_shell.Call(LoadExport(export_name), call.arguments, u"onNet");
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, call.code);
    EXPECT_EQ(outcome.source, source);
    if (call.description) {
        EXPECT_EQ(outcome.description, call.description);
    }
    EXPECT_EQ(m_shell.registrations(), 0);
}

void NetTest::ExpectStatusCall(const std::vector<Report>& reports, LONG status) {
    ASSERT_FALSE(reports.empty());
    const Report& last = reports.back();
    EXPECT_EQ(last.kind, ReportKind::Notify);
    ASSERT_EQ(last.arguments.size(), 1u);
    EXPECT_EQ(last.arguments[0].type, VT_INT);
    EXPECT_EQ(last.arguments[0].number, status);
}

std::uint16_t NetTest::ClosedPort() {
    // A port just given up by a listener stays free for the test's moment.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string PatternBytes(std::size_t count) {
    std::string bytes(count, '\0');
    std::uint32_t state = 0x12345678;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

}  // namespace nb::external::testing
