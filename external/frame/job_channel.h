// What a long job needs from whoever runs it: callback values, progress and
// final reports, status calls and the commands aimed at it. A worker thread
// supplies the real channel (worker_channel.h); benchmarks and fuzz targets
// run the same jobs through a quiet one.
#pragma once

#include <string_view>

#include "external/frame/worker_command.h"
#include "platform/automation/wintypes.h"

namespace nb::external {

class JobChannel {
   public:
    virtual ~JobChannel() = default;

    // Asks for count callback values; false when they never became ready.
    [[nodiscard]] virtual bool PrepareArguments(UINT count) = 0;
    // Callback value position (counted from 1) becomes an integer or text.
    virtual void SetInteger(UINT position, LONG value) = 0;
    virtual void SetString(UINT position, std::u16string_view text) = 0;
    // ... or null, for a text that is absent. Channels that keep no values
    // (benchmarks, fuzz targets) need not store it.
    virtual void SetNull(UINT /*position*/) {}
    // The command in force for this job, read afresh on every call.
    virtual WorkerCommand Command() = 0;
    bool StopRequested() { return Command().kind == WorkerCommandKind::Stop; }
    // True when at least interval_ms passed since the last progress report.
    virtual bool IsProgressDue(DWORD interval_ms) = 0;
    virtual void PostProgress() = 0;
    // A report the job waits for until the callback has run.
    virtual void WaitedCallback() = 0;
    // A status call: the callback receives only the code.
    virtual void Notify(DWORD status) = 0;
};

// Milliseconds between progress reports as the script gives them: below 100
// (taken unsigned, so negative values are large) becomes 100.
inline DWORD ProgressInterval(DWORD requested_ms) {
    constexpr DWORD kShortestIntervalMs = 100;
    return requested_ms < kShortestIntervalMs ? kShortestIntervalMs : requested_ms;
}

}  // namespace nb::external
