// The worker skeleton and the start protocol, driven by small worker routines
// of the tests' own against the shell double.
#include "external/frame/worker.h"

#include <gtest/gtest.h>

#include <atomic>

#include "common/tests/script_value_fixtures.h"
#include "external/frame/tests/shell_double.h"
#include "external/frame/worker_start.h"

namespace nb::external::testing {
namespace {

// Starts routine as a worker of an EX_ call with these arguments.
DWORD StartProbe(ShellDouble& shell, LPTHREAD_START_ROUTINE routine,
                 std::initializer_list<TestValue> arguments, LPCWSTR callback = u"onProbe") {
    ArgumentList list(arguments);
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    const ExCall call(shell.MakeFrame(list.get(), callback, &result, &exception), u"Probe");
    EXPECT_EQ(StartWorker(call, routine), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    return static_cast<DWORD>(result.lVal);
}

std::vector<LONGLONG> Numbers(const Report& report) {
    std::vector<LONGLONG> numbers;
    for (const ReceivedValue& value : report.arguments) numbers.push_back(value.number);
    return numbers;
}

DWORD EchoRoutine(LPVOID parameter) {
    Worker worker(parameter, u"Probe");
    if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
    if (!worker.PrepareArguments(worker.ArgumentCount()))
        return worker.End(NB_WORKER_EXIT_NO_ARGUMENTS);
    // The call's arguments come back in the order they were given.
    for (UINT index = 0; index < worker.ArgumentCount(); ++index)
        worker.SetArgument(index + 1, worker.Argument(index));
    worker.FinalCallback();
    return worker.End(NB_WORKER_EXIT_NORMAL);
}

TEST(WorkerStart, RegistersNamesAndReturnsTheThreadId) {
    ShellDouble shell;
    const DWORD start = GetTickCount();
    const DWORD thread = StartProbe(shell, &EchoRoutine, {LONG{7}, u"text", true});
    // The start gives the worker a tenth of a second before the script goes on.
    EXPECT_GE(GetTickCount() - start, 100u);
    EXPECT_EQ(shell.registrations(), 1);
    ASSERT_TRUE(shell.WaitUntilFinished(thread));
    EXPECT_EQ(shell.ExitCodeOf(thread), NB_WORKER_EXIT_NORMAL);
    const std::vector<Report> reports = shell.ReportsOf(thread);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].function, u"onProbe");
    ASSERT_EQ(reports[0].arguments.size(), 3u);
    EXPECT_EQ(reports[0].arguments[0].number, 7);
    EXPECT_EQ(reports[0].arguments[1].text, u"text");
    EXPECT_EQ(reports[0].arguments[2].type, VT_BOOL);
    // The end sequence frees the slot and clears the values it left there.
    EXPECT_EQ(shell.done_slots(), std::vector<WPARAM>{0});
    const DISPPARAMS* left = shell.workers()[0].arguments;
    ASSERT_NE(left, nullptr);
    for (UINT i = 0; i < left->cArgs; ++i) EXPECT_EQ(left->rgvarg[i].vt, VT_EMPTY);
}

std::atomic<bool> g_ready_for_final{false};
std::atomic<bool> g_final_allowed{false};
std::atomic<bool> g_past_final_callback{false};

DWORD FinalRoutine(LPVOID parameter) {
    Worker worker(parameter, u"Probe");
    if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
    if (!worker.PrepareArguments(1)) return worker.End(NB_WORKER_EXIT_NO_ARGUMENTS);
    worker.SetInteger(1, 42);
    g_ready_for_final = true;
    while (!g_final_allowed) Sleep(1);
    worker.FinalCallback();
    g_past_final_callback = true;
    return worker.End(NB_WORKER_EXIT_NORMAL);
}

TEST(WorkerFinalCallback, WaitsUntilTheShellHasRunIt) {
    ShellDouble shell;
    g_ready_for_final = false;
    g_final_allowed = false;
    g_past_final_callback = false;
    const DWORD thread = StartProbe(shell, &FinalRoutine, {});
    ASSERT_TRUE(shell.PumpUntil([] { return g_ready_for_final.load(); }, 5000));
    g_final_allowed = true;
    // The shell's thread is busy elsewhere: the worker must not go on.
    Sleep(300);
    EXPECT_FALSE(g_past_final_callback);
    ASSERT_TRUE(shell.WaitUntilFinished(thread));
    EXPECT_TRUE(g_past_final_callback);
    ASSERT_EQ(shell.ReportsOf(thread).size(), 1u);
    EXPECT_EQ(Numbers(shell.ReportsOf(thread)[0]), std::vector<LONGLONG>{42});
}

DWORD InvalidIndexRoutine(LPVOID parameter) {
    Worker worker(parameter, u"Probe");
    if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
    if (!worker.PrepareArguments(2)) return worker.End(NB_WORKER_EXIT_NO_ARGUMENTS);
    worker.ZeroArguments();
    worker.SetInteger(3, 30);
    worker.SetInteger(0, 0);
    worker.SetString(2, u"second");
    worker.FinalCallback();
    return worker.End(NB_WORKER_EXIT_NORMAL);
}

TEST(WorkerArguments, AnIndexOutsideTheBlockIsShownAndSkipped) {
    nb::testing::MessageBoxRecorder boxes;
    ShellDouble shell;
    const DWORD thread = StartProbe(shell, &InvalidIndexRoutine, {});
    ASSERT_TRUE(shell.WaitUntilFinished(thread));
    ASSERT_EQ(boxes.boxes().size(), 2u);
    for (const nb::testing::ShownBox& box : boxes.boxes()) {
        EXPECT_TRUE(box.has_owner);
        EXPECT_EQ(box.text, u"EX_THREAD_DISPPARAM_STR(): Invalid Index!");
        EXPECT_EQ(box.caption, u"__WorkerThread_Probe");
        EXPECT_EQ(box.type, MB_ICONERROR);
    }
    // The worker went on: position 1 kept its zero, position 2 got its text.
    const std::vector<Report> reports = shell.ReportsOf(thread);
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0].arguments.size(), 2u);
    EXPECT_EQ(reports[0].arguments[0].type, VT_I4);
    EXPECT_EQ(reports[0].arguments[0].number, 0);
    EXPECT_EQ(reports[0].arguments[1].text, u"second");
}

constexpr LONG kProgressReports = 5;

DWORD ProgressRoutine(LPVOID parameter) {
    Worker worker(parameter, u"Probe");
    if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
    if (!worker.PrepareArguments(2)) return worker.End(NB_WORKER_EXIT_NO_ARGUMENTS);
    worker.ZeroArguments();
    for (LONG step = 1; step <= kProgressReports; ++step) {
        while (!worker.IsProgressDue(0)) Sleep(1);
        worker.SetInteger(1, step);
        worker.PostProgress();
    }
    // An interval that has not passed since the last report holds the next one.
    const bool due_too_early = worker.IsProgressDue(60000);
    worker.SetInteger(1, 100);
    worker.SetInteger(2, due_too_early ? 1 : 0);
    worker.FinalCallback();
    return worker.End(NB_WORKER_EXIT_NORMAL);
}

TEST(WorkerProgress, EveryReportIsSeenWithItsOwnValues) {
    ShellDouble shell;
    const DWORD thread = StartProbe(shell, &ProgressRoutine, {});
    ASSERT_TRUE(shell.WaitUntilFinished(thread));
    const std::vector<Report> reports = shell.ReportsOf(thread);
    ASSERT_EQ(reports.size(), static_cast<std::size_t>(kProgressReports + 1));
    for (LONG step = 1; step <= kProgressReports; ++step)
        EXPECT_EQ(Numbers(reports[step - 1]), (std::vector<LONGLONG>{step, 0}));
    EXPECT_EQ(Numbers(reports.back()), (std::vector<LONGLONG>{100, 0}));
}

std::atomic<bool> g_saw_stop{false};

DWORD UntilStoppedRoutine(LPVOID parameter) {
    Worker worker(parameter, u"Probe");
    if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
    if (!worker.PrepareArguments(1)) return worker.End(NB_WORKER_EXIT_NO_ARGUMENTS);
    while (!worker.StopRequested()) Sleep(5);
    g_saw_stop = true;
    // Values still go into the worker's own block; messages go nowhere.
    worker.SetInteger(1, 5);
    worker.Notify(3300);
    worker.FinalCallback();
    return worker.End(NB_WORKER_EXIT_NORMAL);
}

TEST(WorkerStop, AnAbandonedWorkerStopsAndTouchesNothingMore) {
    ShellDouble shell;
    g_saw_stop = false;
    const DWORD thread = StartProbe(shell, &UntilStoppedRoutine, {});
    shell.PumpFor(100);
    ASSERT_FALSE(g_saw_stop);
    shell.Abandon(thread);
    ASSERT_TRUE(shell.PumpUntil([] { return g_saw_stop.load(); }, 5000));
    shell.PumpFor(300);
    EXPECT_TRUE(shell.reports().empty());
    EXPECT_TRUE(shell.done_slots().empty());
}

}  // namespace
}  // namespace nb::external::testing
