// EX_RunExecutable(commandLine, [wait]): runs another program on a worker
// thread, optionally waiting for it and handing its output to the callback.
#include <string>

#include "external/frame/export.h"
#include "external/frame/worker.h"
#include "external/frame/worker_start.h"
#include "external/system/child_process.h"
#include "external/system/command_line.h"
#include "external/system/environment.h"
#include "external/system/output_capture.h"
#include "platform/text/code_pages.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::Boolean};

// Status codes the callback receives.
constexpr DWORD kStatusNotExpanded = 3200;
constexpr DWORD kStatusNoPipes = 3201;
constexpr DWORD kStatusNotDuplicated = 3202;
constexpr DWORD kStatusNotStarted = 3203;
constexpr DWORD kStatusStopped = 3300;
constexpr DWORD kStatusCompleted = 3303;

constexpr UINT kCallbackArguments = 3;
// A silent program is checked for a stop this often.
constexpr int kStopCheckIntervalMs = 50;
constexpr DWORD kExitPollMs = 10;

DWORD StatusOf(StartFailure failure) {
    switch (failure) {
        case StartFailure::Pipes:
            return kStatusNoPipes;
        case StartFailure::Duplicate:
            return kStatusNotDuplicated;
        case StartFailure::Program:
        case StartFailure::None:
            break;
    }
    return kStatusNotStarted;
}

// Reads the output to its end; false when a stop came first. Every read,
// and every interval without output, is followed by the stop check.
bool CollectOutput(Worker& worker, ChildProcess& program, OutputCapture& capture) {
    char buffer[OutputCapture::kReadBytes];
    for (;;) {
        std::size_t count = 0;
        const ReadState state = program.ReadOutput(buffer, kStopCheckIntervalMs, &count);
        if (state == ReadState::Ended) return true;
        if (state == ReadState::Data) capture.AddRead(std::string_view(buffer, count));
        if (worker.StopRequested()) return false;
    }
}

// A program may close its output before it ends.
std::optional<int> WaitForExit(Worker& worker, ChildProcess& program) {
    PumpingWait pause;
    for (;;) {
        if (std::optional<int> code = program.TryExitCode()) return code;
        if (worker.StopRequested()) return std::nullopt;
        pause.Wait(kExitPollMs);
    }
}

// A stop ends the program: its output would go unread and nothing else
// would ever collect it.
DWORD Stop(Worker& worker, ChildProcess& program) {
    program.Terminate();
    worker.Notify(kStatusStopped);
    return NB_WORKER_EXIT_NORMAL;
}

DWORD WaitAndReport(Worker& worker, ChildProcess& program) {
    OutputCapture capture;
    if (!CollectOutput(worker, program, capture)) return Stop(worker, program);
    const std::optional<int> exit_code = WaitForExit(worker, program);
    if (!exit_code) return Stop(worker, program);
    if (!worker.PrepareArguments(kCallbackArguments)) return NB_WORKER_EXIT_NO_ARGUMENTS;
    worker.ZeroArguments();
    worker.SetInteger(1, static_cast<LONG>(kStatusCompleted));
    worker.SetInteger(2, *exit_code);
    worker.SetString(3, ToUtf16(capture.Stored()));
    worker.FinalCallback();
    return NB_WORKER_EXIT_NORMAL;
}

DWORD RunProgram(Worker& worker) {
    const LPCWSTR text = NbReadString(worker.Argument(0));
    const bool wait = worker.ArgumentCount() > 1 && NbReadBoolean(worker.Argument(1));
    const std::optional<std::u16string> command_line = ExpandEnvironment(text ? text : u"");
    if (!command_line) {
        worker.Notify(kStatusNotExpanded);
        return NB_WORKER_EXIT_NORMAL;
    }
    // A line the shell could not read (an unclosed quote) names no program.
    const std::optional<std::vector<std::string>> arguments =
        SplitCommandLine(ToUtf8(*command_line));
    if (!arguments || arguments->empty()) {
        worker.Notify(kStatusNotStarted);
        return NB_WORKER_EXIT_NORMAL;
    }
    ChildProcess::StartResult started =
        ChildProcess::Start(*arguments, wait ? OutputMode::Capture : OutputMode::Discard);
    if (started.failure != StartFailure::None) {
        worker.Notify(StatusOf(started.failure));
        return NB_WORKER_EXIT_NORMAL;
    }
    if (!wait) {
        worker.Notify(kStatusCompleted);
        return NB_WORKER_EXIT_NORMAL;
    }
    return WaitAndReport(worker, *started.process);
}

DWORD RunExecutableThread(LPVOID parameter) {
    return RunWorkerGuarded([parameter] {
        Worker worker(parameter, u"RunExecutable");
        if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
        return worker.End(RunProgram(worker));
    });
}

HRESULT RunExecutable(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(1, 2, kKinds); FAILED(checked)) return checked;
    return StartWorker(call, &RunExecutableThread);
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(RunExecutable, nb::external::RunExecutable);
