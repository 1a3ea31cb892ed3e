// How a job reports through its callback: where its values sit, progress
// when due, the stop check, the waited final callback, and the one status
// call a job ends with unless its final callback ran.
//
// A job looks like this:
//     JobReport report(channel, kLayout, request.interval_ms);
//     if (!report.Prepare()) return report.End(0);
//     report.Begin(kWorking, total);
//     ... the work, with report.StopRequested() and report.Progress(done) between units ...
//     report.Finish(kFinished, total);
//     return report.End(kFinished);
#pragma once

#include <cstdint>

#include "external/frame/job_channel.h"

namespace nb::external {

// Positions (counted from 1) of a callback's values; 0 where a job's
// callback has no such value.
struct CallbackLayout {
    UINT count = 0;
    UINT status = 1;
    UINT done = 2;
    UINT total = 3;
    UINT elapsed = 0;  // milliseconds since the job began
};

class JobReport {
   public:
    JobReport(JobChannel& channel, const CallbackLayout& layout, DWORD interval_ms);

    JobChannel& channel() { return m_channel; }

    // Asks the shell for the callback values, every one 0. False when they
    // never became ready: End then answers NB_WORKER_EXIT_NO_ARGUMENTS.
    [[nodiscard]] bool Prepare();

    // A phase of the work begins: its status and the size of the whole.
    void Begin(DWORD status, LONG total);
    void Set(UINT position, LONG value);

    bool StopRequested() { return m_channel.StopRequested(); }

    // When a report is due: the work done (a script integer has 32 bits, so
    // past 2 GiB the count wraps as one would), the time taken, posted.
    void Progress(std::uint64_t done);

    // The last values and the final callback, waited for until it has run.
    void Finish(DWORD status, std::uint64_t done);
    // A callback the job waits for without finishing (between two passes).
    void WaitedCallback() { m_channel.WaitedCallback(); }

    LONG ElapsedMs() const;

    // The job's end: its outcome becomes the one status call unless the
    // final callback ran. Returns the worker's exit code.
    DWORD End(DWORD status);

   private:
    void SetTimes(std::uint64_t done);

    JobChannel& m_channel;
    const CallbackLayout m_layout;
    const DWORD m_interval_ms;
    const DWORD m_start_tick;
    bool m_values_missing = false;
    bool m_finished = false;
};

}  // namespace nb::external
