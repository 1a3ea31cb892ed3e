// Playback: EX_PlayWaveFile and its controls run through the extension
// bridge as a page runs them, on a private PulseAudio whose null sink's
// monitor is recorded, beside paplay playing the same file on the same
// server in the same run:
//
//   - from the call (or paplay's start) to the first sample at the sink;
//   - from a pause and from a stop to silence at the sink, against paplay
//     killed (the server drops its stream at once) and paplay stopped
//     (SIGSTOP: what the server's default buffer plays on by itself);
//   - the processor time of the playing process, in per cent of one core,
//     between the first and the last second of a 10-second sound.
//
// Run without arguments. With "--play <file>" it plays one file through the
// bridge and exits: the processor figure comes from such a child.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "external/audio/tests/private_pulse_server.h"
#include "platform/kernel/program_paths.h"

namespace {

using namespace nb::bench;
using nb::external::audio::testing::MonitorRecorder;
using nb::external::audio::testing::PrivatePulseServer;

constexpr int kRepeats = 5;
constexpr int kCpuRepeats = 3;
// Every worker start pauses a tenth of a second before the script goes on,
// and the worker's callback values come only after that.
constexpr double kWorkerStartPauseMs = 100;
constexpr int kShortSeconds = 3;
constexpr int kLongSeconds = 10;
constexpr auto kSoundBeforeCommand = std::chrono::milliseconds(500);
constexpr auto kSilenceWatch = std::chrono::milliseconds(600);
constexpr auto kDefaultBufferWatch = std::chrono::milliseconds(3000);
constexpr DWORD kPumpMs = 5;
constexpr DWORD kIdleWaitMs = 100;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Noise at half of full scale: no frame of it is silence.
bool WriteNoiseWave(const std::string& path, int seconds) {
    std::mt19937 random(1);
    std::uniform_int_distribution<int> value(-16000, 16000);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds) * 88200);
    for (std::int16_t& sample : samples) sample = static_cast<std::int16_t>(value(random) | 1);
    const std::uint32_t data = static_cast<std::uint32_t>(samples.size() * 2);
    std::ofstream file(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { file.write(reinterpret_cast<const char*>(&v), 2); };
    file.write("RIFF", 4);
    put32(data + 36);
    file.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(44100);
    put32(176400);
    put16(4);
    put16(16);
    file.write("data", 4);
    put32(data);
    file.write(reinterpret_cast<const char*>(samples.data()), data);
    return static_cast<bool>(file);
}

// When sound first and last arrived at the monitor.
struct Heard {
    std::optional<Clock::time_point> first, last;
};
Heard SoundArrivals(const MonitorRecorder& recorder) {
    const std::vector<std::int16_t> samples = recorder.Samples();
    Heard heard;
    std::size_t begin = 0;
    for (const MonitorRecorder::Fragment& fragment : recorder.Fragments()) {
        const bool sounding = std::any_of(samples.begin() + static_cast<long>(begin),
                                          samples.begin() + static_cast<long>(fragment.end),
                                          [](std::int16_t s) { return s != 0; });
        if (sounding) {
            if (!heard.first) heard.first = fragment.arrived;
            heard.last = fragment.arrived;
        }
        begin = fragment.end;
    }
    return heard;
}

bool WaitForSound(const MonitorRecorder& recorder, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (recorder.SoundingSamples() == 0) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The page: plays a file, steers it by its thread id.
class Page {
   public:
    std::optional<Clock::time_point> Play(const std::string& path) {
        nb::Variant list, result;
        if (!TextList(list, {path})) return std::nullopt;
        const std::optional<Clock::time_point> called =
            m_host.Call("PlayWaveFile", list, "onPlay", &result);
        if (!called || result.vt != VT_I4) return std::nullopt;
        m_thread = result.lVal;
        return called;
    }

    std::optional<Clock::time_point> Command(const char* function) {
        nb::Variant id;
        id.vt = VT_I4;
        id.lVal = m_thread;
        return m_host.Call(function, id, "onPlay");
    }

    void PumpFor(Clock::duration duration) {
        const auto until = Clock::now() + duration;
        m_host.PumpWhile([&] { return Clock::now() < until; }, kPumpMs);
    }
    void PumpUntilDone(DWORD wait_ms = kPumpMs) {
        m_host.PumpWhile([&] { return m_host.WorkersLive(); }, wait_ms);
    }
    void PumpUntilSound(const MonitorRecorder& recorder) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        m_host.PumpWhile([&] { return recorder.SoundingSamples() == 0 && Clock::now() < deadline; },
                         1);
    }

   private:
    BridgeHost m_host;
    LONG m_thread = 0;
};

struct Figures {
    std::vector<double> ours, reference;
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// From the call to the first sound, then the page's command to the last.
void MeasureOurs(Page& page, const std::string& path, const char* command, Figures& start,
                 Figures& silence) {
    MonitorRecorder recorder;
    const std::optional<Clock::time_point> called = page.Play(path);
    if (!called) return;
    page.PumpUntilSound(recorder);
    page.PumpFor(kSoundBeforeCommand);
    const std::optional<Clock::time_point> commanded = page.Command(command);
    page.PumpFor(kSilenceWatch);
    if (std::strcmp(command, "StopWaveFile") != 0) page.Command("StopWaveFile");
    page.PumpUntilDone();
    recorder.Stop();
    const Heard heard = SoundArrivals(recorder);
    if (!heard.first || !commanded) return;
    start.ours.push_back(Milliseconds(*heard.first - *called));
    silence.ours.push_back(Milliseconds(*heard.last - *commanded));
}

// paplay from its start to the first sound, then the signal to the last.
void MeasurePaplay(const std::string& path, int signal, Clock::duration watch, Figures* start,
                   Figures& silence) {
    MonitorRecorder recorder;
    const Clock::time_point started = Clock::now();
    const pid_t pid = Spawn({"paplay", path});
    if (pid < 0) return;
    const bool sounded = WaitForSound(recorder, std::chrono::seconds(5));
    std::this_thread::sleep_for(kSoundBeforeCommand);
    const Clock::time_point signalled = Clock::now();
    kill(pid, signal);
    std::this_thread::sleep_for(watch);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    recorder.Stop();
    const Heard heard = SoundArrivals(recorder);
    if (!sounded || !heard.first) return;
    if (start) start->reference.push_back(Milliseconds(*heard.first - started));
    silence.reference.push_back(Milliseconds(*heard.last - signalled));
}

// Nanoseconds a process's threads have run so far (the first figure of
// each thread's schedstat), or -1 when the process is gone.
double CpuNanoseconds(pid_t pid) {
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    double total = 0;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        double ran = 0;
        if (schedstat >> ran) total += ran;
    }
    return error ? -1 : total;
}

// Per cent of one core a playing process uses after its first second and
// before its last.
double PlayingCpuPercent(const std::vector<std::string>& command) {
    const pid_t pid = Spawn(command);
    if (pid < 0) return -1;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double before = CpuNanoseconds(pid);
    const Clock::time_point from = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(kLongSeconds - 2));
    const double after = CpuNanoseconds(pid);
    const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
    int status = 0;
    waitpid(pid, &status, 0);
    if (before < 0 || after < 0) return -1;
    return 100.0 * (after - before) / 1e9 / seconds;
}

void PrintRow(const char* name, double ours, const char* reference, double theirs,
              const char* unit) {
    std::printf("%-34s %9.1f %-28s %9.1f %7.3f  %s\n", name, ours, reference, theirs,
                theirs > 0 ? ours / theirs : 0.0, unit);
}

int Bench(const std::string& folder) {
    PrivatePulseServer server;
    if (!server.ready()) {
        std::fprintf(stderr, "pulseaudio and pacat (pulseaudio-utils) could not be started\n");
        return 1;
    }
    const std::string short_wave = folder + "/short.wav", long_wave = folder + "/long.wav";
    if (!WriteNoiseWave(short_wave, kShortSeconds) || !WriteNoiseWave(long_wave, kLongSeconds))
        return 1;

    Figures start, pause, stop, killed, default_buffer;
    {
        Page page;
        // The runs alternate, so a change in the machine's load meets both.
        for (int repeat = 0; repeat < kRepeats; ++repeat) {
            MeasureOurs(page, short_wave, "PauseWaveFile", start, pause);
            MeasureOurs(page, short_wave, "StopWaveFile", start, stop);
            MeasurePaplay(short_wave, SIGKILL, kSilenceWatch, &start, killed);
        }
    }
    MeasurePaplay(long_wave, SIGSTOP, kDefaultBufferWatch, nullptr, default_buffer);
    std::vector<double> ours_cpu, paplay_cpu;
    for (int repeat = 0; repeat < kCpuRepeats; ++repeat) {
        ours_cpu.push_back(PlayingCpuPercent({nb::ProgramPath(), "--play", long_wave}));
        paplay_cpu.push_back(PlayingCpuPercent({"paplay", long_wave}));
    }

    std::printf("private PulseAudio, null sink recorded in 10 ms fragments; medians of %d runs\n",
                kRepeats);
    std::printf("%-34s %9s %-28s %9s %7s\n", "", "ours", "reference", "", "ratio");
    PrintRow("call to first sample at the sink", Median(start.ours), "paplay start to first",
             Median(start.reference), "ms");
    PrintRow("  without the 100 ms start pause", Median(start.ours) - kWorkerStartPauseMs, "",
             Median(start.reference), "ms");
    PrintRow("pause command to silence", Median(pause.ours), "paplay killed to silence",
             Median(killed.reference), "ms");
    PrintRow("stop command to silence", Median(stop.ours), "paplay killed to silence",
             Median(killed.reference), "ms");
    PrintRow("pause command to silence", Median(pause.ours), "paplay SIGSTOP to silence",
             Median(default_buffer.reference), "ms");
    std::printf("%-34s %9.2f %-28s %9.2f %7.3f  %% of a core (median of %d)\n",
                "processor while playing", Median(ours_cpu), "paplay", Median(paplay_cpu),
                Median(ours_cpu) / Median(paplay_cpu), kCpuRepeats);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    NbSetApplicationDirectory(NB_BENCH_APP_DIR);
    if (argc == 3 && std::strcmp(argv[1], "--play") == 0) {
        Page page;
        if (!page.Play(argv[2])) return 1;
        // As the shell's idle loop: awake for every message, else rarely.
        page.PumpUntilDone(kIdleWaitMs);
        return 0;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "playbench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const int result = Bench(pattern);
    std::filesystem::remove_all(pattern);
    return result;
}
