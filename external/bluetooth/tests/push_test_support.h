// What the Bluetooth tests share: a channel that records a job's reports,
// files of given bytes, and worker calls run to their end.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "external/frame/job_channel.h"
#include "external/frame/tests/shell_double.h"

namespace nb::external::bluetooth::testing {

// Records a job's callbacks (integer values only) and status calls; a stop
// is in force once stop_after_callbacks callbacks have run.
class RecordingChannel final : public JobChannel {
   public:
    std::vector<LONG> values;
    std::vector<std::vector<LONG>> callbacks;
    std::vector<DWORD> statuses;
    std::size_t stop_after_callbacks = std::numeric_limits<std::size_t>::max();

    bool PrepareArguments(UINT count) override;
    void SetInteger(UINT position, LONG value) override { values.at(position - 1) = value; }
    void SetString(UINT, std::u16string_view) override {}
    WorkerCommand Command() override;
    bool IsProgressDue(DWORD) override;
    void PostProgress() override;
    void WaitedCallback() override { callbacks.push_back(values); }
    void Notify(DWORD status) override { statuses.push_back(status); }
};

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::string& path);

// A worker call run to its end against the shell double.
struct WorkerRun {
    DWORD thread = 0;
    std::vector<nb::external::testing::Report> reports;
    DWORD exit_code = 0;
};
// Starts a worker call with the callback "onBluetooth"; 0 when the export refused it.
DWORD StartWorker(nb::external::testing::ShellDouble& shell, const char* export_name,
                  std::initializer_list<nb::external::testing::TestValue> arguments);
WorkerRun FinishWorker(nb::external::testing::ShellDouble& shell, DWORD thread);
WorkerRun RunWorker(nb::external::testing::ShellDouble& shell, const char* export_name,
                    std::initializer_list<nb::external::testing::TestValue> arguments);

// The numbers of a report, first script parameter first.
std::vector<LONGLONG> Numbers(const nb::external::testing::Report& report);

}  // namespace nb::external::bluetooth::testing
