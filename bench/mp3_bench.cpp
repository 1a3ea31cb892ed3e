// MP3 encoding: EX_MakeMP3 at 128 kbit/s, run through the extension bridge
// as a page runs it, beside the lame command line with the same settings,
// both timed in this run on the same 3-minute wave file; and the peak
// resident size of a process doing each, for a 1- and a 10-minute input.
//
// The settings EX_MakeMP3 gives the encoder for 128 kbit/s, spelled for the
// command line: joint stereo, variable rate of quality 0 between 96 and 128
// kbit/s, a checksum in every frame, no bit reservoir, algorithm quality 2,
// no resampling, and the info tag (the command line's default).
//
// Run without arguments. With "--encode <input> <output>" it only encodes
// once through the bridge: the memory figures come from such a child.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
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
constexpr LONG kBitRateKbps = 128;
constexpr LONG kWorking = 3301;
constexpr LONG kFinished = 3302;
constexpr int kTimedMinutes = 3;
constexpr int kSmallMinutes = 1;
constexpr int kLargeMinutes = 10;
// EX_MakeMP3 pauses a tenth of a second after starting every worker.
constexpr double kWorkerStartPauseSeconds = 0.1;

std::vector<std::string> LameCommand(const std::string& input, const std::string& output) {
    return {"lame", "--quiet", "-m",      "j",  "-V", "0",          "-b",   "96",  "-B",
            "128",  "-p",      "--nores", "-q", "2",  "--resample", "44.1", input, output};
}

// Two independent pink noises: sound as dense as music, and a side channel
// that is not silent.
bool MakeWave(const std::string& path, int minutes) {
    const std::string seconds = std::to_string(minutes * 60);
    const std::string noise = "anoisesrc=c=pink:a=0.3:r=44100:d=" + seconds;
    const std::string command = "ffmpeg -v error -y -filter_complex '" + noise + ":seed=1[l];" +
                                noise + ":seed=2[r];[l][r]join=inputs=2:channel_layout=stereo'" +
                                " -c:a pcm_s16le -bitexact -f wav '" + path + "'";
    return std::system(command.c_str()) == 0;
}

// The page: notes the status of every report the worker makes.
class StatusPage final : public nb::bridge::ScriptCallbacks {
   public:
    LONG last_status = 0;
    HRESULT CallFunction(LPCWSTR, DISPPARAMS* arguments, VARIANT*) override {
        // The last entry is the first parameter: the status.
        if (arguments && arguments->cArgs > 0)
            last_status = arguments->rgvarg[arguments->cArgs - 1].lVal;
        return S_OK;
    }
};

VARIANT Text(const std::string& text) {
    const std::u16string wide = nb::ToUtf16(text);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return value;
}

// The shell's side: a bridge on this thread, with its message loop.
class Shell {
   public:
    Shell() : m_loop(nb::CreateHeadlessLoop()) {
        nb::SetCurrentThreadLoop(m_loop.get());
        m_bridge = ExtensionBridge::Create({nullptr, &m_page, &m_system, nullptr});
    }
    ~Shell() {
        m_bridge.reset();
        nb::SetCurrentThreadLoop(nullptr);
    }
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // Execute("MakeMP3", [input, output, 128], "onMp3"): the seconds until
    // the page has the final report, or nothing when the worker did not
    // finish. Returns once the worker has gone.
    std::optional<double> MakeMp3(const std::string& input, const std::string& output) {
        if (!m_bridge) return std::nullopt;
        nb::Variant list, name, callback, input_text, output_text;
        static_cast<VARIANT&>(name) = Text("MakeMP3");
        static_cast<VARIANT&>(callback) = Text("onMp3");
        static_cast<VARIANT&>(input_text) = Text(input);
        static_cast<VARIANT&>(output_text) = Text(output);
        if (FAILED(NB_ARRAY_CREATE(&list)) || FAILED(NB_ARRAY_ADDELEMENT(&list, 0, &input_text)) ||
            FAILED(NB_ARRAY_ADDELEMENT(&list, 1, &output_text)) ||
            FAILED(NB_ARRAY_ADDINT(&list, 2, kBitRateKbps)))
            return std::nullopt;
        // DISPPARAMS hold the arguments last-first.
        VARIANT arguments[3] = {callback, list, name};
        DISPPARAMS params{arguments, nullptr, 3, 0};
        nb::Variant result;
        EXCEPINFO exception{};
        m_page.last_status = 0;
        const auto start = Clock::now();
        if (FAILED(m_bridge->Execute(&params, DISPATCH_METHOD, &result, &exception, nullptr)))
            return std::nullopt;
        PumpWhile([&] { return m_page.last_status == 0 || m_page.last_status == kWorking; });
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        PumpWhile([&] {
            return m_bridge->RegisteredWorkers() != 0 || m_bridge->LiveWorkerThreads() != 0;
        });
        if (m_page.last_status != kFinished) return std::nullopt;
        return seconds;
    }

   private:
    // The wait wakes for every message and sleeps the rest of the time, as
    // the shell's idle loop does, leaving the processor to the encoder.
    template <typename Condition>
    void PumpWhile(Condition condition) {
        constexpr DWORD kWaitMs = 20;
        HANDLE never = CreateEventW(nullptr, 0, 0, nullptr);
        while (condition()) {
            DWORD index = 0;
            CoWaitForMultipleHandles(0, kWaitMs, 1, &never, &index);
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

// The high-water mark of a running process's resident size, or 0 once it
// has ended. (The rusage of a waited child is no use here: the kernel keeps
// the spawning process's own peak in it across exec.)
long HighWaterKb(pid_t pid) {
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!status) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    std::fclose(status);
    return kb;
}

// Runs a program to its end, reading its peak resident size as it runs.
ChildRun RunChild(const std::vector<std::string>& command) {
    constexpr auto kPollInterval = std::chrono::milliseconds(5);
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return {};
    ChildRun run;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        run.peak_kb = std::max(run.peak_kb, HighWaterKb(pid));
        std::this_thread::sleep_for(kPollInterval);
    }
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// Seconds a program took to its successful end.
std::optional<double> ProgramSeconds(const std::vector<std::string>& command) {
    const auto start = Clock::now();
    if (!RunChild(command).ok) return std::nullopt;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string SelfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

std::uintmax_t SizeOf(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

void PrintTimes(const std::string& folder) {
    const std::string wave = folder + "/timed.wav";
    if (!MakeWave(wave, kTimedMinutes)) {
        std::fprintf(stderr, "ffmpeg could not make %s\n", wave.c_str());
        return;
    }
    const std::string ours = folder + "/timed.mp3", reference = folder + "/timed_lame.mp3";
    Shell shell;
    // The runs alternate, so a change in the machine's load meets both.
    constexpr double kFailed = std::numeric_limits<double>::infinity();
    double make_mp3 = kFailed, lame = kFailed;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        make_mp3 = std::min(make_mp3, shell.MakeMp3(wave, ours).value_or(kFailed));
        lame = std::min(lame, ProgramSeconds(LameCommand(wave, reference)).value_or(kFailed));
    }
    if (make_mp3 == kFailed || lame == kFailed)
        std::fprintf(stderr, "an encoding failed: the table below is not meaningful\n");
    std::printf("%d-minute wave at %ld kbit/s, best of %d runs each\n", kTimedMinutes,
                static_cast<long>(kBitRateKbps), kRepeats);
    std::printf("%-44s %10s %10s %8s\n", "", "ours s", "lame s", "ratio");
    std::printf("%-44s %10.3f %10.3f %8.3f\n", "EX_MakeMP3 vs lame command line", make_mp3, lame,
                make_mp3 / lame);
    const double encoding = make_mp3 - kWorkerStartPauseSeconds;
    std::printf("%-44s %10.3f %10.3f %8.3f\n", "  the same without the 100 ms start pause",
                encoding, lame, encoding / lame);
    std::printf("%-44s %10ju %10ju %8.3f\n", "output bytes", SizeOf(ours), SizeOf(reference),
                static_cast<double>(SizeOf(ours)) / static_cast<double>(SizeOf(reference)));
}

void PrintMemory(const std::string& folder) {
    std::printf("\npeak resident size of a process encoding the input, kB\n");
    std::printf("%-44s %10s %10s %8s\n", "", "1 min", "10 min", "ratio");
    ChildRun ours[2], lame[2];
    const int minutes[2] = {kSmallMinutes, kLargeMinutes};
    for (int index = 0; index < 2; ++index) {
        const std::string wave = folder + "/memory" + std::to_string(index) + ".wav";
        if (!MakeWave(wave, minutes[index])) return;
        ours[index] = RunChild({SelfPath(), "--encode", wave, wave + ".mp3"});
        lame[index] = RunChild(LameCommand(wave, wave + ".lame.mp3"));
        std::filesystem::remove(wave);
    }
    const auto row = [](const char* name, const ChildRun(&runs)[2]) {
        std::printf("%-44s %10ld %10ld %8.3f%s\n", name, runs[0].peak_kb, runs[1].peak_kb,
                    static_cast<double>(runs[1].peak_kb) / static_cast<double>(runs[0].peak_kb),
                    runs[0].ok && runs[1].ok ? "" : "  (a run failed)");
    };
    row("EX_MakeMP3 through the bridge", ours);
    row("lame command line", lame);
}

}  // namespace

int main(int argc, char** argv) {
    NbSetApplicationDirectory(NB_BENCH_APP_DIR);
    if (argc == 4 && std::strcmp(argv[1], "--encode") == 0) {
        Shell shell;
        return shell.MakeMp3(argv[2], argv[3]) ? 0 : 1;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "mp3bench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    PrintTimes(pattern);
    PrintMemory(pattern);
    std::filesystem::remove_all(pattern);
    return 0;
}
