#include "external/audio/tests/audio_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>

#include "platform/text/code_pages.h"

namespace nb::external::audio::testing {

using nb::external::testing::CallOutcome;
using nb::external::testing::LoadExport;
using nb::external::testing::Report;
using nb::external::testing::ShellDouble;
using nb::external::testing::TestValue;

std::vector<std::uint8_t> WaveBytes(const Samples& samples) {
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

void WriteWave(const std::string& path, const Samples& samples, long data_bytes) {
    const DWORD announced =
        data_bytes < 0 ? static_cast<DWORD>(samples.size() * 2) : static_cast<DWORD>(data_bytes);
    const auto header = MakeWaveHeader(announced, kWaveRateHz, kWaveChannels);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(header.data()), header.size());
    file.write(reinterpret_cast<const char*>(samples.data()),
               static_cast<long>(samples.size() * 2));
}

WaveContents ReadWave(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    WaveContents contents;
    contents.header = CheckWaveHeader(bytes);
    if (bytes.size() > kWaveHeaderBytes) {
        contents.samples.resize((bytes.size() - kWaveHeaderBytes) / 2);
        std::memcpy(contents.samples.data(), bytes.data() + kWaveHeaderBytes,
                    contents.samples.size() * 2);
    }
    return contents;
}

std::vector<double> Channel(const Samples& samples, int channel) {
    std::vector<double> values;
    for (std::size_t i = static_cast<std::size_t>(channel); i < samples.size(); i += 2)
        values.push_back(samples[i] / 32768.0);
    return values;
}

std::vector<double> Middle(const std::vector<double>& channel) {
    const std::size_t tenth = channel.size() / 10;
    return std::vector<double>(channel.begin() + static_cast<long>(tenth),
                               channel.end() - static_cast<long>(tenth));
}

std::vector<double> Stretch(const std::vector<double>& channel, double from_s, double to_s) {
    const auto index = [&](double seconds) {
        return std::min(channel.size(), static_cast<std::size_t>(seconds * 44100));
    };
    return std::vector<double>(channel.begin() + static_cast<long>(index(from_s)),
                               channel.begin() + static_cast<long>(index(to_s)));
}

double ZeroCrossingFrequency(const std::vector<double>& channel, double rate_hz) {
    std::size_t first = 0, last = 0, crossings = 0;
    for (std::size_t i = 1; i < channel.size(); ++i) {
        if (channel[i - 1] < 0 && channel[i] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return static_cast<double>(crossings - 1) * rate_hz / static_cast<double>(last - first);
}

double ToneAmplitude(const std::vector<double>& channel, double rate_hz, double frequency_hz) {
    const auto periods = static_cast<std::size_t>(channel.size() * frequency_hz / rate_hz);
    const auto length = static_cast<std::size_t>(periods * rate_hz / frequency_hz);
    if (length == 0) return 0;
    double real = 0, imaginary = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const double phase = 2 * std::numbers::pi * frequency_hz * static_cast<double>(i) / rate_hz;
        real += channel[i] * std::cos(phase);
        imaginary += channel[i] * std::sin(phase);
    }
    return 2 * std::hypot(real, imaginary) / static_cast<double>(length);
}

int PeakMagnitude(const Samples& samples) {
    int peak = 0;
    for (const std::int16_t sample : samples) peak = std::max(peak, std::abs(int{sample}));
    return peak;
}

bool RunTool(const std::string& command_line) {
    const std::string quiet = command_line + " >/dev/null 2>&1";
    return std::system(quiet.c_str()) == 0;
}

FifoFeeder::FifoFeeder(const std::string& path) {
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    // Open for reading and writing so the open does not wait for a reader.
    m_fd = ::open(path.c_str(), O_RDWR);
    EXPECT_GE(m_fd, 0);
}

FifoFeeder::~FifoFeeder() { Finish(); }

void FifoFeeder::Feed(std::vector<std::uint8_t> bytes) {
    Flush();
    m_writer = std::thread([fd = m_fd, bytes = std::move(bytes)] {
        std::size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
            if (put <= 0) return;
            written += static_cast<std::size_t>(put);
        }
    });
}

void FifoFeeder::Flush() {
    if (m_writer.joinable()) m_writer.join();
}

void FifoFeeder::Finish() {
    Flush();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

SmallDisk::SmallDisk(const std::string& path, std::size_t bytes) : m_path(path) {
    std::filesystem::create_directory(path);
    const std::string size = "size=" + std::to_string(bytes);
    m_mounted = mount("nbtest", path.c_str(), "tmpfs", 0, size.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
    if (m_mounted) umount2(m_path.c_str(), MNT_DETACH);
}

DWORD StartWorker(ShellDouble& shell, const char* export_name,
                  std::initializer_list<TestValue> arguments) {
    const CallOutcome outcome = shell.Call(LoadExport(export_name), arguments, u"onAudio");
    EXPECT_EQ(outcome.hr, S_OK) << ToUtf8(outcome.description);
    if (outcome.hr != S_OK || outcome.result.type != VT_I4) return 0;
    return static_cast<DWORD>(outcome.result.number);
}

WorkerRun RunWorker(ShellDouble& shell, const char* export_name,
                    std::initializer_list<TestValue> arguments) {
    WorkerRun run;
    run.thread = StartWorker(shell, export_name, arguments);
    if (run.thread == 0) return run;
    EXPECT_TRUE(shell.WaitUntilFinished(run.thread, 60000));
    if (!shell.HasFinished(run.thread)) return run;
    run.exit_code = shell.ExitCodeOf(run.thread);
    run.reports = shell.ReportsOf(run.thread);
    return run;
}

std::vector<LONGLONG> Numbers(const Report& report) {
    std::vector<LONGLONG> numbers;
    for (const auto& value : report.arguments) numbers.push_back(value.number);
    return numbers;
}

}  // namespace nb::external::audio::testing
