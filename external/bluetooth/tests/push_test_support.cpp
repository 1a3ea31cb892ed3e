#include "external/bluetooth/tests/push_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "platform/text/code_pages.h"

namespace nb::external::bluetooth::testing {

using nb::external::testing::CallOutcome;
using nb::external::testing::LoadExport;
using nb::external::testing::Report;
using nb::external::testing::ShellDouble;
using nb::external::testing::TestValue;

bool RecordingChannel::PrepareArguments(UINT count) {
    values.assign(count, -1);
    return true;
}

WorkerCommand RecordingChannel::Command() {
    if (callbacks.size() >= stop_after_callbacks) return {WorkerCommandKind::Stop};
    return {};
}

// Every report of these jobs is waited for: none is ever posted.
bool RecordingChannel::IsProgressDue(DWORD) {
    ADD_FAILURE() << "a posted progress report was asked for";
    return false;
}
void RecordingChannel::PostProgress() { ADD_FAILURE() << "a progress report was posted"; }

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

DWORD StartWorker(ShellDouble& shell, const char* export_name,
                  std::initializer_list<TestValue> arguments) {
    const CallOutcome outcome = shell.Call(LoadExport(export_name), arguments, u"onBluetooth");
    EXPECT_EQ(outcome.hr, S_OK) << ToUtf8(outcome.description);
    if (outcome.hr != S_OK || outcome.result.type != VT_I4) return 0;
    return static_cast<DWORD>(outcome.result.number);
}

WorkerRun FinishWorker(ShellDouble& shell, DWORD thread) {
    WorkerRun run;
    run.thread = thread;
    if (thread == 0) return run;
    EXPECT_TRUE(shell.WaitUntilFinished(thread, 60000));
    if (!shell.HasFinished(thread)) return run;
    run.exit_code = shell.ExitCodeOf(thread);
    run.reports = shell.ReportsOf(thread);
    return run;
}

WorkerRun RunWorker(ShellDouble& shell, const char* export_name,
                    std::initializer_list<TestValue> arguments) {
    return FinishWorker(shell, StartWorker(shell, export_name, arguments));
}

std::vector<LONGLONG> Numbers(const Report& report) {
    std::vector<LONGLONG> numbers;
    for (const auto& value : report.arguments) numbers.push_back(value.number);
    return numbers;
}

}  // namespace nb::external::bluetooth::testing
