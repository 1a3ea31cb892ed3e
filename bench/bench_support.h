// Pieces the benchmarks share: timed runs against a reference, child
// processes with their peak resident size, and a bridge hosted on this thread
// as the shell hosts it.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "shell/bridge/extension_bridge.h"

namespace nb::bench {

using Clock = std::chrono::steady_clock;

// Seconds work (a callable answering success) took, or a huge figure when it failed.
template <typename Work>
double Seconds(Work work) {
    const auto start = Clock::now();
    if (!work()) return 1e300;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Timing {
    double ours = 1e300;
    double reference = 1e300;
};

// The best of repeats runs of each; the runs alternate, so a change in the
// machine's load meets both.
template <typename Ours, typename Reference>
Timing BestOf(int repeats, Ours ours, Reference reference) {
    Timing best;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        best.ours = std::min(best.ours, Seconds(ours));
        best.reference = std::min(best.reference, Seconds(reference));
    }
    return best;
}

struct ChildRun {
    bool ok = false;
    long peak_kb = 0;
};

// Starts command (searched on PATH), its standard output on output_fd when
// that is not -1. The child's id, or -1 when it could not start.
pid_t Spawn(const std::vector<std::string>& command, int output_fd = -1);

// Runs a program to its end, reading its peak resident size as it runs.
ChildRun RunChild(const std::vector<std::string>& command);

// Seconds a program took to its successful end.
std::optional<double> ProgramSeconds(const std::vector<std::string>& command);

// 0 when the file cannot be read.
std::uintmax_t SizeOf(const std::string& path);

// A 44100 Hz 16-bit stereo wave of two independent pink noises: as dense as
// music, with a side channel that is not silent.
bool MakeNoiseWave(const std::string& path, int minutes);

void SetText(VARIANT& value, const std::string& text);
VARIANT Text(const std::string& text);

// A script array of texts, the arguments a page passes.
bool TextList(VARIANT& list, const std::vector<std::string>& texts);

// The page: notes the first value of every report, the status.
class StatusPage final : public nb::bridge::ScriptCallbacks {
   public:
    LONG last_status = 0;
    HRESULT CallFunction(LPCWSTR, DISPPARAMS* arguments, VARIANT*) override;
};

// The shell's side: a bridge on this thread with its message loop.
class BridgeHost {
   public:
    BridgeHost();
    ~BridgeHost();
    BridgeHost(const BridgeHost&) = delete;
    BridgeHost& operator=(const BridgeHost&) = delete;

    // Execute(function, list, callback) as a page calls it: the moment of the
    // call, or nothing when it failed. The call's result goes to result when
    // one is given.
    std::optional<Clock::time_point> Call(const std::string& function, const VARIANT& list,
                                          const std::string& callback, VARIANT* result = nullptr);

    // Call, then the messages flow until the page has a report other than
    // working and the worker has gone. The seconds to that report, or nothing
    // when the worker did not end finished.
    std::optional<double> TimedRun(const std::string& function, const VARIANT& list,
                                   const std::string& callback, LONG working, LONG finished,
                                   DWORD wait_ms);

    LONG LastStatus() const { return m_page.last_status; }
    bool WorkersLive() const;

    // The wait wakes for every message and otherwise every wait_ms, as the
    // shell's idle loop does, leaving the processor to the worker.
    template <typename Condition>
    void PumpWhile(Condition condition, DWORD wait_ms) {
        HANDLE never = CreateEventW(nullptr, 0, 0, nullptr);
        while (condition()) {
            DWORD index = 0;
            CoWaitForMultipleHandles(0, wait_ms, 1, &never, &index);
        }
        CloseHandle(never);
    }

   private:
    std::unique_ptr<nb::MessageLoop> m_loop;
    StatusPage m_page;
    SystemInformation m_system{};
    std::unique_ptr<nb::bridge::ExtensionBridge> m_bridge;
};

}  // namespace nb::bench
