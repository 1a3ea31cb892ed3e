// The job channel of a worker thread: every call goes to the worker's side of
// the protocol with the shell.
#pragma once

#include "external/audio/job_channel.h"
#include "external/frame/worker.h"

namespace nb::external::audio {

class WorkerChannel final : public JobChannel {
   public:
    explicit WorkerChannel(Worker& worker) : m_worker(worker) {}

    bool PrepareArguments(UINT count) override { return m_worker.PrepareArguments(count); }
    void SetInteger(UINT position, LONG value) override { m_worker.SetInteger(position, value); }
    bool StopRequested() override { return m_worker.StopRequested(); }
    bool IsProgressDue(DWORD interval_ms) override { return m_worker.IsProgressDue(interval_ms); }
    void PostProgress() override { m_worker.PostProgress(); }
    void WaitedCallback() override { m_worker.FinalCallback(); }
    void Notify(DWORD status) override { m_worker.Notify(status); }

   private:
    Worker& m_worker;
};

}  // namespace nb::external::audio
