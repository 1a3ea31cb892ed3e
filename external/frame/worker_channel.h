// The job channel of a worker thread: every call goes to the worker's side of
// the protocol with the shell.
#pragma once

#include "external/frame/job_channel.h"
#include "external/frame/worker.h"

namespace nb::external {

class WorkerChannel final : public JobChannel {
   public:
    explicit WorkerChannel(Worker& worker) : m_worker(worker) {}

    bool PrepareArguments(UINT count) override { return m_worker.PrepareArguments(count); }
    void SetInteger(UINT position, LONG value) override { m_worker.SetInteger(position, value); }
    void SetString(UINT position, std::u16string_view text) override {
        m_worker.SetString(position, text);
    }
    void SetNull(UINT position) override { m_worker.SetNull(position); }
    WorkerCommand Command() override { return m_worker.ReadCommand(); }
    bool IsProgressDue(DWORD interval_ms) override { return m_worker.IsProgressDue(interval_ms); }
    void PostProgress() override { m_worker.PostProgress(); }
    void WaitedCallback() override { m_worker.FinalCallback(); }
    void Notify(DWORD status) override { m_worker.Notify(status); }

   private:
    Worker& m_worker;
};

}  // namespace nb::external
