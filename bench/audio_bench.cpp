// Audio engine: EX_Transcode and EX_WaveMix run through the extension bridge
// as a page runs them, beside the command lines that do the same work, all
// timed in this run on the same 3-minute inputs; and the peak resident size
// of a process running each worker for a 1- and a 10-minute input.
//
//   - Transcode of an MP3 (44100 Hz stereo, 192 kbit/s), normalising off and
//     on, against "ffmpeg -i in.mp3 -ar 44100 -ac 2 out.wav";
//   - WaveMix of two wave files against "sox -m".
//
// Run without arguments. With "--transcode <in> <out> <0|1>" or
// "--mix <main> <background> <out>" it runs one worker through the bridge
// and exits: the memory figures come from such a child. "--peak <command...>"
// runs a command and prints its peak resident size.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/script_array.h"
#include "platform/automation/automation.h"
#include "platform/text/code_pages.h"
#include "shell/bridge/extension_bridge.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using nb::bridge::ExtensionBridge;

constexpr int kRepeats = 3;
constexpr int kTimedMinutes = 3;
constexpr int kSmallMinutes = 1;
constexpr int kLargeMinutes = 10;
constexpr LONG kTranscodeFinished = 3303;
constexpr LONG kMixFinished = 3302;
// Every worker start pauses a tenth of a second before the script goes on.
constexpr double kWorkerStartPauseSeconds = 0.1;

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Tones over two independent pink noises: as dense as music, and a side
// channel that is not silent, so joint stereo saves the decoder nothing.
bool MakeMp3(const std::string& path, int minutes) {
    const std::string seconds = std::to_string(minutes * 60);
    const std::string noise = "anoisesrc=c=pink:a=0.25:r=44100:d=" + seconds;
    return Shell("ffmpeg -v error -y -filter_complex '" + noise + ":seed=1[l];" + noise +
                 ":seed=2[r];[l][r]join=inputs=2:channel_layout=stereo' -c:a libmp3lame "
                 "-b:a 192k '" +
                 path + "'");
}

bool MakeWave(const std::string& path, int minutes, const std::string& sound) {
    return Shell("sox -n -r 44100 -c 2 -b 16 '" + path + "' synth " + std::to_string(minutes * 60) +
                 " " + sound);
}

bool MakeMixInputs(const std::string& main, const std::string& background, int minutes) {
    return MakeWave(main, minutes, "pinknoise vol 0.5") &&
           MakeWave(background, minutes, "sine 440 sine 660 vol 0.3");
}

// The page: notes the first value of every report.
class StatusPage final : public nb::bridge::ScriptCallbacks {
   public:
    LONG last_status = 0;
    HRESULT CallFunction(LPCWSTR, DISPPARAMS* arguments, VARIANT*) override {
        // DISPPARAMS hold the values last-first: the first parameter is last.
        if (arguments && arguments->cArgs > 0)
            last_status = arguments->rgvarg[arguments->cArgs - 1].lVal;
        return S_OK;
    }
};

void SetText(VARIANT& value, const std::string& text) {
    const std::u16string wide = nb::ToUtf16(text);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// The shell's side: a bridge on this thread with its message loop.
class BridgeShell {
   public:
    BridgeShell() : m_loop(nb::CreateHeadlessLoop()) {
        nb::SetCurrentThreadLoop(m_loop.get());
        m_bridge = ExtensionBridge::Create({nullptr, &m_page, &m_system, nullptr});
    }
    ~BridgeShell() {
        m_bridge.reset();
        nb::SetCurrentThreadLoop(nullptr);
    }
    BridgeShell(const BridgeShell&) = delete;
    BridgeShell& operator=(const BridgeShell&) = delete;

    bool Transcode(const std::string& input, const std::string& output, bool normalise) {
        nb::Variant flag;
        flag.vt = VT_BOOL;
        flag.boolVal = normalise ? VARIANT_TRUE : VARIANT_FALSE;
        return Execute("Transcode", {input, output}, &flag) == kTranscodeFinished;
    }

    bool Mix(const std::string& main, const std::string& background, const std::string& output) {
        return Execute("WaveMix", {main, background, output}, nullptr) == kMixFinished;
    }

   private:
    // Execute(name, [texts..., extra], "onAudio"), then the messages flow
    // until the worker has reported and gone. The status it ended with.
    LONG Execute(const char* function, const std::vector<std::string>& texts,
                 const VARIANT* extra) {
        if (!m_bridge) return 0;
        nb::Variant list, name, callback;
        SetText(name, function);
        SetText(callback, "onAudio");
        if (FAILED(NB_ARRAY_CREATE(&list))) return 0;
        int index = 0;
        for (const std::string& text : texts) {
            nb::Variant element;
            SetText(element, text);
            if (FAILED(NB_ARRAY_ADDELEMENT(&list, index++, &element))) return 0;
        }
        if (extra && FAILED(NB_ARRAY_ADDELEMENT(&list, index, extra))) return 0;
        VARIANT arguments[3] = {callback, list, name};
        DISPPARAMS params{arguments, nullptr, 3, 0};
        nb::Variant result;
        EXCEPINFO exception{};
        m_page.last_status = 0;
        if (FAILED(m_bridge->Execute(&params, DISPATCH_METHOD, &result, &exception, nullptr)))
            return 0;
        PumpUntilWorkersGone();
        return m_page.last_status;
    }

    void PumpUntilWorkersGone() {
        HANDLE never = CreateEventW(nullptr, 0, 0, nullptr);
        while (m_bridge->RegisteredWorkers() != 0 || m_bridge->LiveWorkerThreads() != 0) {
            DWORD index = 0;
            CoWaitForMultipleHandles(0, 1, 1, &never, &index);
        }
        CloseHandle(never);
    }

    std::unique_ptr<nb::MessageLoop> m_loop;
    StatusPage m_page;
    SystemInformation m_system{};
    std::unique_ptr<ExtensionBridge> m_bridge;
};

struct ChildRun {
    bool ok = false;
    long peak_kb = 0;
};

// Runs a program to its end and waits for it with wait4. Its peak resident
// size is only its own when the process that starts it is small: a spawned
// process inherits the high-water mark of the memory it starts in, so a
// child of this (large) process would report at least this process's size.
ChildRun RunChild(const std::vector<std::string>& command, int output_fd = -1) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output_fd >= 0) posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {};
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return {};
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, usage.ru_maxrss};
}

std::string SelfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

// The peak resident size of command on its own: a fresh copy of this
// program, still small, starts it and writes the figure it gets to a pipe.
ChildRun MeasurePeak(const std::vector<std::string>& command) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return {};
    std::vector<std::string> measured = {SelfPath(), "--peak"};
    measured.insert(measured.end(), command.begin(), command.end());
    const ChildRun launcher = RunChild(measured, pipe_ends[1]);
    close(pipe_ends[1]);
    char text[32] = {};
    const ssize_t got = read(pipe_ends[0], text, sizeof text - 1);
    close(pipe_ends[0]);
    return {launcher.ok && got > 0, got > 0 ? std::atol(text) : 0};
}

// The launcher's side: runs the command, prints its peak resident size in kB
// and exits as it did.
int RunMeasured(char** command) {
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(command[0], command);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return 1;
    std::printf("%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

std::vector<std::string> FfmpegCommand(const std::string& input, const std::string& output) {
    return {"ffmpeg", "-v", "error", "-y", "-i", input, "-ar", "44100", "-ac", "2", output};
}

std::vector<std::string> SoxMixCommand(const std::string& main, const std::string& background,
                                       const std::string& output) {
    return {"sox", "-m", main, background, output};
}

// Seconds work took, or a huge figure when it failed.
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

// The runs alternate, so a change in the machine's load meets both.
template <typename Ours, typename Reference>
Timing BestOf(Ours ours, Reference reference) {
    Timing best;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        best.ours = std::min(best.ours, Seconds(ours));
        best.reference = std::min(best.reference, Seconds(reference));
    }
    return best;
}

void PrintRow(const char* name, const char* reference, const Timing& timing) {
    std::printf("%-40s %9.3f %-12s %9.3f %7.3f\n", name, timing.ours, reference, timing.reference,
                timing.ours / timing.reference);
    const double work = timing.ours - kWorkerStartPauseSeconds;
    std::printf("%-40s %9.3f %-12s %9.3f %7.3f\n", "  without the 100 ms start pause", work, "",
                timing.reference, work / timing.reference);
}

std::uintmax_t SizeOf(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

void PrintSizes(const std::string& ours, const std::string& reference) {
    std::printf("%-40s %9ju %-12s %9ju %7.3f\n", "  output bytes", SizeOf(ours), "",
                SizeOf(reference),
                static_cast<double>(SizeOf(ours)) / static_cast<double>(SizeOf(reference)));
}

bool PrintTimes(const std::string& folder) {
    const std::string mp3 = folder + "/timed.mp3", main = folder + "/main.wav",
                      background = folder + "/background.wav";
    if (!MakeMp3(mp3, kTimedMinutes) || !MakeMixInputs(main, background, kTimedMinutes)) {
        std::fprintf(stderr, "ffmpeg or sox could not make the inputs\n");
        return false;
    }
    const std::string decoded = folder + "/decoded.wav", normalised = folder + "/normalised.wav",
                      mixed = folder + "/mixed.wav", ffmpeg_out = folder + "/ffmpeg.wav",
                      sox_out = folder + "/sox.wav";
    BridgeShell shell;
    const auto ffmpeg = [&] { return RunChild(FfmpegCommand(mp3, ffmpeg_out)).ok; };
    const Timing plain = BestOf([&] { return shell.Transcode(mp3, decoded, false); }, ffmpeg);
    const Timing louder = BestOf([&] { return shell.Transcode(mp3, normalised, true); }, ffmpeg);
    const Timing mix =
        BestOf([&] { return shell.Mix(main, background, mixed); },
               [&] { return RunChild(SoxMixCommand(main, background, sox_out)).ok; });
    std::printf("%d-minute inputs, best of %d runs each, seconds\n", kTimedMinutes, kRepeats);
    std::printf("%-40s %9s %-12s %9s %7s\n", "", "ours", "reference", "", "ratio");
    PrintRow("EX_Transcode MP3, normalise off", "ffmpeg", plain);
    PrintSizes(decoded, ffmpeg_out);
    PrintRow("EX_Transcode MP3, normalise on", "ffmpeg", louder);
    PrintSizes(normalised, ffmpeg_out);
    PrintRow("EX_WaveMix", "sox -m", mix);
    PrintSizes(mixed, sox_out);
    return true;
}

void PrintMemoryRow(const char* name, const ChildRun (&runs)[2]) {
    std::printf("%-40s %10ld %10ld %8.3f%s\n", name, runs[0].peak_kb, runs[1].peak_kb,
                static_cast<double>(runs[1].peak_kb) / static_cast<double>(runs[0].peak_kb),
                runs[0].ok && runs[1].ok ? "" : "  (a run failed)");
}

void PrintMemory(const std::string& folder) {
    ChildRun transcode[2], ffmpeg[2], mix[2], sox[2];
    const int minutes[2] = {kSmallMinutes, kLargeMinutes};
    for (int index = 0; index < 2; ++index) {
        const std::string stem = folder + "/memory" + std::to_string(index);
        const std::string mp3 = stem + ".mp3", main = stem + "_main.wav",
                          background = stem + "_background.wav", out = stem + "_out.wav";
        if (!MakeMp3(mp3, minutes[index]) || !MakeMixInputs(main, background, minutes[index]))
            return;
        transcode[index] = MeasurePeak({SelfPath(), "--transcode", mp3, out, "1"});
        ffmpeg[index] = MeasurePeak(FfmpegCommand(mp3, out));
        mix[index] = MeasurePeak({SelfPath(), "--mix", main, background, out});
        sox[index] = MeasurePeak(SoxMixCommand(main, background, out));
        for (const std::string& path : {mp3, main, background, out}) std::filesystem::remove(path);
    }
    std::printf("\npeak resident size of a process doing the work, kB\n");
    std::printf("%-40s %10s %10s %8s\n", "", "1 min", "10 min", "ratio");
    PrintMemoryRow("EX_Transcode (normalise on), bridge", transcode);
    PrintMemoryRow("ffmpeg command line", ffmpeg);
    PrintMemoryRow("EX_WaveMix, bridge", mix);
    PrintMemoryRow("sox -m", sox);
}

int RunOnce(int argc, char** argv) {
    BridgeShell shell;
    if (argc == 5 && std::strcmp(argv[1], "--transcode") == 0)
        return shell.Transcode(argv[2], argv[3], std::strcmp(argv[4], "1") == 0) ? 0 : 1;
    if (argc == 5 && std::strcmp(argv[1], "--mix") == 0)
        return shell.Mix(argv[2], argv[3], argv[4]) ? 0 : 1;
    std::fprintf(stderr, "usage: %s [--transcode in out 0|1 | --mix main background out]\n",
                 argv[0]);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peak") == 0) return RunMeasured(argv + 2);
    NbSetApplicationDirectory(NB_BENCH_APP_DIR);
    if (argc > 1) return RunOnce(argc, argv);
    std::string pattern = (std::filesystem::temp_directory_path() / "audiobench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    if (PrintTimes(pattern)) PrintMemory(pattern);
    std::filesystem::remove_all(pattern);
    return 0;
}
