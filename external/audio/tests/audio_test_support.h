// Helpers of the audio tests: wave files written and read back, the sound
// measured, outside tools run, a named pipe fed bit by bit, and a worker run
// through the real module to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "external/audio/wave_file.h"
#include "external/frame/tests/shell_double.h"

namespace nb::external::audio::testing {

using Samples = std::vector<std::int16_t>;

// Writes a canonical wave file of these interleaved stereo samples; its
// header announces data_bytes (by default exactly the samples' bytes).
void WriteWave(const std::string& path, const Samples& samples, long data_bytes = -1);
std::vector<std::uint8_t> WaveBytes(const Samples& samples);

struct WaveContents {
    WaveHeaderCheck header;
    Samples samples;  // everything after the header
};
WaveContents ReadWave(const std::string& path);

// A sample value cut to 16 bits as the engine saturates it (no wrapping).
inline std::int16_t Truncated(double value) {
    if (value >= 32767) return 32767;
    if (value <= -32768) return -32768;
    return static_cast<std::int16_t>(value);
}

// One channel (0 left, 1 right) of interleaved stereo samples.
std::vector<double> Channel(const Samples& samples, int channel);

// The middle of a channel, without a tenth at either end: codecs ring where
// a sound starts and stops.
std::vector<double> Middle(const std::vector<double>& channel);
// A stretch of a channel, in seconds at 44100 Hz.
std::vector<double> Stretch(const std::vector<double>& channel, double from_s, double to_s);

// The frequency of a tone, from its rising zero crossings.
double ZeroCrossingFrequency(const std::vector<double>& channel, double rate_hz);
// The amplitude of the component at frequency_hz (a single DFT bin over the
// whole periods the signal holds), as a fraction of full scale.
double ToneAmplitude(const std::vector<double>& channel, double rate_hz, double frequency_hz);
int PeakMagnitude(const Samples& samples);

// Runs a command line through the shell; true when it exits with 0.
bool RunTool(const std::string& command_line);

// A named pipe whose bytes the test hands over in portions, written from a
// helper thread so the test keeps handling the shell's messages while the
// reader drains the pipe. The reader meets the end once Finish() is called.
class FifoFeeder {
   public:
    explicit FifoFeeder(const std::string& path);
    ~FifoFeeder();
    FifoFeeder(const FifoFeeder&) = delete;
    FifoFeeder& operator=(const FifoFeeder&) = delete;

    void Feed(std::vector<std::uint8_t> bytes);
    // Waits until everything fed so far is in the pipe.
    void Flush();
    void Finish();

   private:
    int m_fd = -1;
    std::thread m_writer;
};

// A small file system of its own, for full-disk cases: a tmpfs of bytes
// mounted at path (made if missing) while it lives. Mounting needs root;
// mounted() says whether it worked.
class SmallDisk {
   public:
    SmallDisk(const std::string& path, std::size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return m_mounted; }

   private:
    std::string m_path;
    bool m_mounted = false;
};

// A worker call run to its end against the shell double.
struct WorkerRun {
    DWORD thread = 0;
    std::vector<nb::external::testing::Report> reports;
    DWORD exit_code = 0;
};
WorkerRun RunWorker(nb::external::testing::ShellDouble& shell, const char* export_name,
                    std::initializer_list<nb::external::testing::TestValue> arguments);
// Starts a worker call; 0 when the export refused it.
DWORD StartWorker(nb::external::testing::ShellDouble& shell, const char* export_name,
                  std::initializer_list<nb::external::testing::TestValue> arguments);

// The numbers of a report, first script parameter first.
std::vector<LONGLONG> Numbers(const nb::external::testing::Report& report);

}  // namespace nb::external::audio::testing
