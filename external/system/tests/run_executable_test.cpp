// EX_RunExecutable against real programs, with the shell played by the double.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>

#include "external/frame/tests/shell_double.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

constexpr LONG kNotExpanded = 3200;
constexpr LONG kNotStarted = 3203;
constexpr LONG kStopped = 3300;
constexpr LONG kCompleted = 3303;

class RunExecutableTest : public ::testing::Test {
   protected:
    // Starts the worker and answers its thread id (0 when it did not start).
    DWORD Start(const std::u16string& command_line, bool wait,
                const char16_t* callback = u"onRun") {
        const CallOutcome outcome =
            m_shell.Call(LoadExport("EX_RunExecutable"), {command_line, wait}, callback);
        EXPECT_EQ(outcome.hr, S_OK) << ToUtf8(outcome.description);
        EXPECT_EQ(outcome.result.type, VT_I4);
        return static_cast<DWORD>(outcome.result.number);
    }
    // Runs to the end and answers the worker's one report.
    Report RunToEnd(const std::u16string& command_line, bool wait) {
        const DWORD thread = Start(command_line, wait);
        EXPECT_TRUE(m_shell.WaitUntilFinished(thread));
        EXPECT_EQ(m_shell.ExitCodeOf(thread), NB_WORKER_EXIT_NORMAL);
        const std::vector<Report> reports = m_shell.ReportsOf(thread);
        EXPECT_EQ(reports.size(), 1u);
        return reports.empty() ? Report{} : reports.front();
    }
    static void ExpectStatus(const Report& report, LONG status) {
        EXPECT_EQ(report.kind, ReportKind::Notify);
        ASSERT_EQ(report.arguments.size(), 1u);
        EXPECT_EQ(report.arguments[0].type, VT_INT);
        EXPECT_EQ(report.arguments[0].number, status);
    }

    ShellDouble m_shell;
};

TEST_F(RunExecutableTest, WaitingKeepsTheFirstBytesOfTheOutput) {
    const Report report = RunToEnd(u"sh -c \"head -c 10000 /dev/zero | tr '\\0' x; exit 3\"", true);
    EXPECT_EQ(report.kind, ReportKind::Callback);
    EXPECT_EQ(report.function, u"onRun");
    ASSERT_EQ(report.arguments.size(), 3u);
    EXPECT_EQ(report.arguments[0].type, VT_I4);
    EXPECT_EQ(report.arguments[0].number, kCompleted);
    EXPECT_EQ(report.arguments[1].type, VT_I4);
    EXPECT_EQ(report.arguments[1].number, 3);
    const std::u16string& output = report.arguments[2].text;
    EXPECT_EQ(report.arguments[2].type, VT_BSTR);
    EXPECT_GE(output.size(), 4993u);
    EXPECT_LE(output.size(), 5056u);
    EXPECT_EQ(output, std::u16string(output.size(), u'x'));
}

struct ProgramCase {
    const char16_t* command_line;
    LONG exit_code;
    std::u16string output;
};
void PrintTo(const ProgramCase& c, std::ostream* os) { *os << ToUtf8(c.command_line); }

class ProgramRun : public RunExecutableTest, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(ProgramRun, ReportsExitCodeAndOutput) {
    const Report report = RunToEnd(GetParam().command_line, true);
    ASSERT_EQ(report.arguments.size(), 3u);
    EXPECT_EQ(report.arguments[0].number, kCompleted);
    EXPECT_EQ(report.arguments[1].number, GetParam().exit_code);
    EXPECT_EQ(report.arguments[2].text, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ProgramRun,
    ::testing::Values(ProgramCase{u"true", 0, u""}, ProgramCase{u"sh -c \"exit 7\"", 7, u""},
                      // Standard error goes into the same output.
                      ProgramCase{u"sh -c \"echo out; echo err 1>&2\"", 0, u"out\nerr\n"},
                      // Standard input is at its end from the start.
                      ProgramCase{u"cat", 0, u""},
                      // A program ended by a signal: 128 + the signal, as shells say.
                      ProgramCase{u"sh -c \"kill -TERM $$\"", 143, u""},
                      // Quoting reaches the program as the shell would hand it over.
                      ProgramCase{u"printf '%s|' 'a  b' \"c\\\"d\" e\\ f \"\" g", 0,
                                  u"a  b|c\"d|e f||g|"},
                      // Output is UTF-8 and arrives as UTF-16.
                      ProgramCase{u"printf 'gr\u00fc\u00df \u266a'", 0, u"gr\u00fc\u00df \u266a"},
                      // The program runs without a shell: "|" is just an argument.
                      ProgramCase{u"echo a | b", 0, u"a | b\n"}));

TEST_F(RunExecutableTest, ExpandsVariablesBeforeSplitting) {
    ScopedVariable word("NB_TEST_WORDS", "two words");
    const Report report = RunToEnd(
        u"sh -c 'for a; do echo \"[$a]\"; done' sh $NB_TEST_WORDS \"%NB_TEST_WORDS%\"", true);
    ASSERT_EQ(report.arguments.size(), 3u);
    EXPECT_EQ(report.arguments[2].text, u"[two]\n[words]\n[two words]\n");
}

TEST_F(RunExecutableTest, WithoutWaitReportsTheStartAndLeavesTheProgramRunning) {
    TemporaryFolder folder;
    const std::string marker = folder / "marker";
    ExpectStatus(RunToEnd(ToUtf16("sh -c \"sleep 0.2; touch " + marker + "\""), false), kCompleted);
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_TRUE(m_shell.PumpUntil([&] { return std::filesystem::exists(marker); }, 5000));
}

struct FailureCase {
    const char16_t* command_line;
    LONG status;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << ToUtf8(c.command_line); }

class ProgramFailure : public RunExecutableTest,
                       public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ProgramFailure, IsAStatusCall) {
    for (bool wait : {true, false})
        ExpectStatus(RunToEnd(GetParam().command_line, wait), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ProgramFailure,
    ::testing::Values(FailureCase{u"nb-no-such-program --version", kNotStarted},
                      FailureCase{u"/nonexistent/program", kNotStarted},
                      FailureCase{u"/etc/hostname", kNotStarted}, FailureCase{u"/tmp", kNotStarted},
                      FailureCase{u"", kNotStarted}, FailureCase{u"echo 'unclosed", kNotStarted}));

TEST_F(RunExecutableTest, ACommandLineThatCannotBeExpandedIsAStatusCall) {
    ScopedVariable big("NB_TEST_BIG", std::string(20000, 'b'));
    ExpectStatus(RunToEnd(u"echo %NB_TEST_BIG% %NB_TEST_BIG%", true), kNotExpanded);
}

TEST_F(RunExecutableTest, WithoutCallbackNameRunsToTheEndUnreported) {
    const DWORD waited = Start(u"sh -c \"echo hidden\"", true, nullptr);
    const DWORD started = Start(u"true", false, nullptr);
    ASSERT_TRUE(m_shell.WaitUntilFinished(waited));
    ASSERT_TRUE(m_shell.WaitUntilFinished(started));
    EXPECT_EQ(m_shell.ExitCodeOf(waited), NB_WORKER_EXIT_NORMAL);
    EXPECT_TRUE(m_shell.reports().empty());
}

// A stop reaches a worker waiting on a silent program; the program is ended.
class StopTest : public RunExecutableTest {
   protected:
    DWORD StartSilentProgram() {
        const DWORD thread = Start(u"sleep 30", true);
        m_shell.PumpFor(200);
        EXPECT_FALSE(m_shell.HasFinished(thread));
        return thread;
    }
    void ExpectStopped(DWORD thread) {
        ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 5000));
        const std::vector<Report> reports = m_shell.ReportsOf(thread);
        ASSERT_EQ(reports.size(), 1u);
        ExpectStatus(reports[0], kStopped);
    }

    TemporaryFolder m_folder;
};

TEST_F(StopTest, AimedAtTheWorker) {
    const DWORD thread = StartSilentProgram();
    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    ExpectStopped(thread);
}

TEST_F(StopTest, AimedAtEveryWorker) {
    const DWORD first = StartSilentProgram();
    const DWORD second = StartSilentProgram();
    m_shell.SendCommand(0, NB_COMMAND_STOP);
    ExpectStopped(first);
    ExpectStopped(second);
}

TEST_F(StopTest, AimedAtAnotherWorkerChangesNothing) {
    const DWORD thread = StartSilentProgram();
    m_shell.SendCommand(thread + 1, NB_COMMAND_STOP);
    m_shell.PumpFor(300);
    EXPECT_FALSE(m_shell.HasFinished(thread));
    // Other command words are not stops either.
    m_shell.SendCommand(thread, NB_COMMAND_PAUSE_PLAYBACK);
    m_shell.PumpFor(300);
    EXPECT_FALSE(m_shell.HasFinished(thread));
    EXPECT_TRUE(m_shell.ReportsOf(thread).empty());
    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    ExpectStopped(thread);
}

// Gone, or ended and waiting to be collected by whoever adopted it.
bool IsRunning(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pid_field, name, state;
    return stat >> pid_field >> name >> state && state != "Z";
}

TEST_F(StopTest, EndsTheProgramAndWhatItStarted) {
    const std::string pid_file = m_folder / "pid";
    const DWORD thread =
        Start(ToUtf16("sh -c \"sleep 30 & echo $! > " + pid_file + "; wait\""), true);
    pid_t sleeper = 0;
    ASSERT_TRUE(m_shell.PumpUntil([&] { return bool(std::ifstream(pid_file) >> sleeper); }, 5000));
    EXPECT_TRUE(IsRunning(sleeper));
    m_shell.SendCommand(0, NB_COMMAND_STOP);
    ExpectStopped(thread);
    EXPECT_TRUE(m_shell.PumpUntil([&] { return !IsRunning(sleeper); }, 2000));
}

}  // namespace
}  // namespace nb::external::testing
