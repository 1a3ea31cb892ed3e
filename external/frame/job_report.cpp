#include "external/frame/job_report.h"

#include "common/worker_protocol.h"
#include "platform/kernel/kernel.h"

namespace nb::external {

JobReport::JobReport(JobChannel& channel, const CallbackLayout& layout, DWORD interval_ms)
    : m_channel(channel),
      m_layout(layout),
      m_interval_ms(interval_ms),
      m_start_tick(GetTickCount()) {}

bool JobReport::Prepare() {
    if (!m_channel.PrepareArguments(m_layout.count)) {
        m_values_missing = true;
        return false;
    }
    for (UINT position = 1; position <= m_layout.count; ++position)
        m_channel.SetInteger(position, 0);
    return true;
}

void JobReport::Begin(DWORD status, LONG total) {
    Set(m_layout.status, static_cast<LONG>(status));
    Set(m_layout.total, total);
}

void JobReport::Set(UINT position, LONG value) {
    if (position != 0) m_channel.SetInteger(position, value);
}

void JobReport::SetTimes(std::uint64_t done) {
    Set(m_layout.done, static_cast<LONG>(done));
    Set(m_layout.elapsed, ElapsedMs());
}

void JobReport::Progress(std::uint64_t done) {
    if (!m_channel.IsProgressDue(m_interval_ms)) return;
    SetTimes(done);
    m_channel.PostProgress();
}

void JobReport::Finish(DWORD status, std::uint64_t done) {
    Set(m_layout.status, static_cast<LONG>(status));
    SetTimes(done);
    m_channel.WaitedCallback();
    m_finished = true;
}

LONG JobReport::ElapsedMs() const { return static_cast<LONG>(GetTickCount() - m_start_tick); }

DWORD JobReport::End(DWORD status) {
    if (m_values_missing) return NB_WORKER_EXIT_NO_ARGUMENTS;
    if (!m_finished) m_channel.Notify(status);
    return NB_WORKER_EXIT_NORMAL;
}

}  // namespace nb::external
