// EX_RunExecutable(commandLine, [wait]): runs another program on a worker
// thread, optionally waiting for it and handing its output to the callback.
#include <string>

#include "external/frame/job_arguments.h"
#include "external/frame/job_report.h"
#include "external/frame/worker_export.h"
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

// The final callback's values: status, exit code, output.
constexpr CallbackLayout kLayout{.count = 3, .status = 1, .done = 0, .total = 0};
constexpr UINT kValueExitCode = 2;
constexpr UINT kValueOutput = 3;
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
bool CollectOutput(JobChannel& channel, ChildProcess& program, OutputCapture& capture) {
    char buffer[OutputCapture::kReadBytes];
    for (;;) {
        std::size_t count = 0;
        const ReadState state = program.ReadOutput(buffer, kStopCheckIntervalMs, &count);
        if (state == ReadState::Ended) return true;
        if (state == ReadState::Data) capture.AddRead(std::string_view(buffer, count));
        if (channel.StopRequested()) return false;
    }
}

// A program may close its output before it ends.
std::optional<int> WaitForExit(JobChannel& channel, ChildProcess& program) {
    PumpingWait pause;
    for (;;) {
        if (std::optional<int> code = program.TryExitCode()) return code;
        if (channel.StopRequested()) return std::nullopt;
        pause.Wait(kExitPollMs);
    }
}

// A stop ends the program: its output would go unread and nothing else
// would ever collect it.
DWORD Stop(JobReport& report, ChildProcess& program) {
    program.Terminate();
    return report.End(kStatusStopped);
}

DWORD WaitAndReport(JobReport& report, ChildProcess& program) {
    OutputCapture capture;
    if (!CollectOutput(report.channel(), program, capture)) return Stop(report, program);
    const std::optional<int> exit_code = WaitForExit(report.channel(), program);
    if (!exit_code) return Stop(report, program);
    if (!report.Prepare()) return report.End(0);
    report.Set(kValueExitCode, *exit_code);
    report.channel().SetString(kValueOutput, ToUtf16(capture.Stored()));
    report.Finish(kStatusCompleted, 0);
    return report.End(kStatusCompleted);
}

struct RunRequest {
    std::u16string command_line;
    bool wait = false;
};

RunRequest ReadRequest(const Worker& worker) {
    return {.command_line = TextArgument(worker, 0), .wait = BooleanArgument(worker, 1, false)};
}

DWORD RunProgram(JobChannel& channel, const RunRequest& request) {
    JobReport report(channel, kLayout, 0);
    const std::optional<std::u16string> command_line = ExpandEnvironment(request.command_line);
    if (!command_line) return report.End(kStatusNotExpanded);
    // A line the shell could not read (an unclosed quote) names no program.
    const std::optional<std::vector<std::string>> arguments =
        SplitCommandLine(ToUtf8(*command_line));
    if (!arguments || arguments->empty()) return report.End(kStatusNotStarted);
    ChildProcess::Started started =
        ChildProcess::Start(*arguments, request.wait ? OutputMode::Capture : OutputMode::Discard);
    if (!started) return report.End(StatusOf(started.error()));
    if (!request.wait) return report.End(kStatusCompleted);
    return WaitAndReport(report, **started);
}

constexpr WorkerExport<RunRequest> kRunExecutable{.name = u"RunExecutable",
                                                  .min_count = 1,
                                                  .max_count = 2,
                                                  .kinds = kKinds,
                                                  .read = ReadRequest,
                                                  .run = RunProgram};

}  // namespace
}  // namespace nb::external

NB_DEFINE_WORKER_FUNCTION(RunExecutable, nb::external::kRunExecutable);
