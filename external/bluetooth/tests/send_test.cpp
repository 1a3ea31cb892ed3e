// EX_BTSend through the real module: its checks, every status it can reach
// here, and whole pushes over TCP to the fake phone. This kernel has no
// Bluetooth, so a Bluetooth address ends where the RFCOMM socket would be made.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <ostream>

#include "external/bluetooth/tests/fake_phone.h"
#include "external/bluetooth/tests/push_test_support.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::bluetooth::testing {
namespace {

using nb::external::testing::CallOutcome;
using nb::external::testing::LoadExport;
using nb::external::testing::ReportKind;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;
using nb::external::testing::TestValue;

class SendTest : public ::testing::Test {
   protected:
    WorkerRun Send(std::initializer_list<TestValue> arguments) {
        return RunWorker(m_shell, "EX_BTSend", arguments);
    }
    std::u16string File(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        WriteFile(m_folder / name, bytes);
        return ToUtf16(m_folder / name);
    }
    static void ExpectStatusOnly(const WorkerRun& run, LONGLONG status) {
        ASSERT_EQ(run.reports.size(), 1u);
        EXPECT_EQ(run.reports[0].kind, ReportKind::Notify);
        EXPECT_EQ(Numbers(run.reports[0]), std::vector<LONGLONG>{status});
        EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
    }

    ShellDouble m_shell;
    TemporaryFolder m_folder;
};

struct RefusedCall {
    std::vector<TestValue> arguments;
    WORD code;
    const char16_t* description;
};
void PrintTo(const RefusedCall& c, std::ostream* os) { *os << c.arguments.size() << " arguments"; }

class RefusedCalls : public SendTest, public ::testing::WithParamInterface<RefusedCall> {};

// Count, then kinds, before any thread starts.
TEST_P(RefusedCalls, FailWithTheirReportAndStartNothing) {
    const RefusedCall& call = GetParam();
    const CallOutcome outcome =
        m_shell.Call(LoadExport("EX_BTSend"), call.arguments, u"onBluetooth");
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, call.code);
    EXPECT_EQ(outcome.source, u"External::BTSend");
    EXPECT_EQ(outcome.description, call.description);
    EXPECT_EQ(m_shell.registrations(), 0);
}

const char16_t* const kCount = u"Catastrophic: Bad parameters count";
const char16_t* const kType = u"Catastrophic: Type mismatch";

INSTANTIATE_TEST_SUITE_P(
    Arguments, RefusedCalls,
    ::testing::Values(
        RefusedCall{{std::u16string(u"x"), std::u16string(u"y")}, 2100, kCount},
        RefusedCall{
            {std::u16string(u"x"), std::u16string(u"y"), std::u16string(u"z"), LONG{200}, LONG{1}},
            2100,
            kCount},
        RefusedCall{{LONG{1}, std::u16string(u"y"), std::u16string(u"z")}, 2101, kType},
        RefusedCall{{std::u16string(u"x"), true, std::u16string(u"z")}, 2101, kType},
        RefusedCall{{std::u16string(u"x"), std::u16string(u"y"), std::monostate{}}, 2101, kType},
        RefusedCall{{std::u16string(u"x"), std::u16string(u"y"), std::u16string(u"z"),
                     std::u16string(u"200")},
                    2101,
                    kType}));

// What is wrong with the file is found before any connection is tried.
TEST_F(SendTest, AFileThatCannotBeSentEndsBeforeConnecting) {
    PhoneListener phone({});
    const std::u16string target = ToUtf16(phone.Target());
    ExpectStatusOnly(Send({target, ToUtf16(m_folder / "missing"), u"a"}), 3200);
    ExpectStatusOnly(Send({target, ToUtf16(m_folder.path()), u"a"}), 3200);
    ExpectStatusOnly(Send({target, nullptr, u"a"}), 3200);
    ExpectStatusOnly(Send({target, File("empty", {}), u"a"}), 3201);
    EXPECT_TRUE(phone.Finish().requests.empty());
}

TEST_F(SendTest, AnAddressOfNeitherFormIsNotParsed) {
    const std::u16string file = File("object", RandomBytes(10, 1));
    for (const TestValue& address : {TestValue(std::u16string(u"00:1A:7D:DA:71")),
                                     TestValue(std::u16string(u"localhost")), TestValue(nullptr)})
        ExpectStatusOnly(Send({address, file, u"a"}), 3205);
}

// Ten attempts 200 ms apart: nine pauses at least.
TEST_F(SendTest, NoConnectionAfterTenAttempts) {
    // A port nobody listens on: one the system gave out and took back.
    std::string target;
    {
        PhoneListener closed({});
        target = closed.Target();
    }
    const DWORD start = GetTickCount();
    const WorkerRun run = Send({ToUtf16(target), File("object", RandomBytes(10, 1)), u"a"});
    const DWORD elapsed = GetTickCount() - start;
    ExpectStatusOnly(run, 3206);
    EXPECT_GE(elapsed, 9 * 200u);
    EXPECT_LT(elapsed, 5000u);
}

// Without Bluetooth in the kernel no RFCOMM socket can be made (3204); with
// it but no adapter, the SDP lookup fails each of the ten attempts (3206).
TEST_F(SendTest, ABluetoothAddressNeedsBluetoothSockets) {
    const int probe = ::socket(AF_BLUETOOTH, SOCK_STREAM, 3 /* RFCOMM */);
    const bool has_bluetooth = probe >= 0;
    if (has_bluetooth) ::close(probe);
    const WorkerRun run = Send({u"00:1A:7D:DA:71:13", File("object", RandomBytes(10, 1)), u"a"});
    ExpectStatusOnly(run, has_bluetooth ? 3206 : 3204);
}

// A whole push as a page sees it: the first callback once the phone took
// the object, progress in bytes, then 3302 as the one status call.
TEST_F(SendTest, PushesTheFileAndReportsItsProgress) {
    PhoneListener phone({.packet_bytes = 1024});
    const auto content = RandomBytes(100000, 9);
    const WorkerRun run =
        Send({ToUtf16(phone.Target()), File("tone.3gp", content), u"Ringtone.3gp", LONG{100}});
    const PhoneRecord record = phone.Finish();
    EXPECT_EQ(record.violation, "");
    EXPECT_EQ(record.object, content);
    EXPECT_EQ(record.name, u"Ringtone.3gp");
    EXPECT_TRUE(record.disconnected);

    ASSERT_GE(run.reports.size(), 3u);
    EXPECT_EQ(Numbers(run.reports[0]), (std::vector<LONGLONG>{3300, 0, 100000}));
    EXPECT_EQ(Numbers(run.reports[1]), (std::vector<LONGLONG>{3300, 1018, 100000}));
    for (std::size_t i = 0; i + 1 < run.reports.size(); ++i)
        EXPECT_EQ(run.reports[i].kind, ReportKind::Callback);
    EXPECT_EQ(run.reports.back().kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(run.reports.back()), std::vector<LONGLONG>{3302});
    EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
}

// A null object name is not read as text: the object keeps the file's name.
TEST_F(SendTest, WithoutANameTheObjectKeepsTheFilesName) {
    PhoneListener phone({});
    const WorkerRun run =
        Send({ToUtf16(phone.Target()), File("Bell tone.wav", RandomBytes(10, 2)), nullptr});
    EXPECT_EQ(Numbers(run.reports.back()), std::vector<LONGLONG>{3302});
    EXPECT_EQ(phone.Finish().name, u"Bell tone.wav");
}

TEST_F(SendTest, ThePhoneRefusingTheObjectIsTheOneStatus) {
    PhoneListener phone({.description_answer = 0xC3});
    ExpectStatusOnly(Send({ToUtf16(phone.Target()), File("object", RandomBytes(10, 3)), u"a"}),
                     3301);
}

// The shell's stop reaches the worker between packets: 3301, no final PUT.
TEST_F(SendTest, TheStopCommandEndsThePush) {
    PhoneListener phone({.packet_bytes = 1024, .cut_answers = true});
    const DWORD thread = StartWorker(
        m_shell, "EX_BTSend",
        {ToUtf16(phone.Target()), File("object", RandomBytes(2'000'000, 4)), u"a", LONG{100}});
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(m_shell.PumpUntil([&] { return m_shell.ReportsOf(thread).size() >= 2; }, 20000));
    m_shell.SendCommand(thread, 1);
    const WorkerRun run = FinishWorker(m_shell, thread);
    ASSERT_FALSE(run.reports.empty());
    EXPECT_EQ(run.reports.back().kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(run.reports.back()), std::vector<LONGLONG>{3301});
    const PhoneRecord record = phone.Finish();
    EXPECT_LT(record.object.size(), 2'000'000u);
    EXPECT_FALSE(record.disconnected);
}

}  // namespace
}  // namespace nb::external::bluetooth::testing
