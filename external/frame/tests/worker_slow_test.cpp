// Worker starts and ends that take the full slot search: about ten seconds
// each.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "common/error_report.h"
#include "external/frame/module_lock.h"
#include "external/frame/tests/shell_double.h"
#include "external/frame/worker.h"
#include "external/frame/worker_start.h"

namespace nb::external::testing {
namespace {

DWORD RoutineWithoutArguments(LPVOID parameter) {
    Worker worker(parameter, u"Probe");
    if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
    // The shell refuses a block of no arguments, so none ever comes.
    if (!worker.PrepareArguments(0)) return worker.End(NB_WORKER_EXIT_NO_ARGUMENTS);
    return worker.End(NB_WORKER_EXIT_NORMAL);
}

TEST(WorkerEnd, WithoutItsArgumentBlockExits405) {
    ShellDouble shell;
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    const ExCall call(shell.MakeFrame(&none, u"onProbe", &result, nullptr), u"Probe");
    ASSERT_EQ(StartWorker(call, &RoutineWithoutArguments), S_OK);
    const DWORD thread = static_cast<DWORD>(result.lVal);
    ASSERT_TRUE(shell.WaitUntilFinished(thread, 30000));
    EXPECT_EQ(shell.ExitCodeOf(thread), NB_WORKER_EXIT_NO_ARGUMENTS);
    EXPECT_EQ(shell.done_slots(), std::vector<WPARAM>{0});
    EXPECT_TRUE(shell.reports().empty());
}

TEST(WorkerEnd, WithoutASlotReportsAsTheSpareSlotAndExits404) {
    ShellDouble shell;
    // A worker the shell never registered, started the way StartWorker does.
    auto* block = static_cast<WorkerBlock*>(CoTaskMemAlloc(sizeof(WorkerBlock)));
    DISPPARAMS none{};
    *block = WorkerBlock{shell.window(), NB_DISPPARAMS_COPY(&none), nullptr, nullptr,
                         nullptr,        shell.workers(),           nullptr};
    LockModule();
    HANDLE thread = CreateThread(nullptr, 0, &RoutineWithoutArguments, block, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(
        shell.PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 30000));
    DWORD exit_code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &exit_code));
    EXPECT_EQ(exit_code, NB_WORKER_EXIT_NO_SLOT);
    CloseHandle(thread);
    shell.PumpFor(50);
    EXPECT_EQ(shell.done_slots(), std::vector<WPARAM>{NB_WORKER_SLOTS});
}

TEST(WorkerStart, TheSixtyFifthWorkerFindsNoSlot) {
    ShellDouble shell;
    const ExFunction run = LoadExport("EX_RunExecutable");
    std::vector<DWORD> threads;
    for (int i = 0; i < NB_WORKER_SLOTS; ++i) {
        const CallOutcome started = shell.Call(run, {u"sleep 60", true}, u"onRun");
        ASSERT_EQ(started.hr, S_OK) << i;
        threads.push_back(static_cast<DWORD>(started.result.number));
    }
    EXPECT_EQ(shell.RegisteredWorkers(), NB_WORKER_SLOTS);

    const DWORD start = GetTickCount();
    const CallOutcome refused = shell.Call(run, {u"true", true}, u"onRun");
    EXPECT_GE(GetTickCount() - start, 9000u);
    EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(refused.code, NB_ERROR_WORKER_START);
    EXPECT_EQ(refused.description, u"Catastrophic: Cannot get thread context");
    EXPECT_EQ(refused.source, u"External::RunExecutable");
    EXPECT_EQ(refused.result.type, VT_EMPTY);

    // The refused thread never ran: only the 64 report, each once, stopped.
    shell.SendCommand(0, NB_COMMAND_STOP);
    for (DWORD thread : threads) ASSERT_TRUE(shell.WaitUntilFinished(thread, 10000));
    EXPECT_EQ(shell.reports().size(), threads.size());
    for (const Report& report : shell.reports()) {
        ASSERT_EQ(report.arguments.size(), 1u);
        EXPECT_EQ(report.arguments[0].number, 3300);
    }
}

}  // namespace
}  // namespace nb::external::testing
