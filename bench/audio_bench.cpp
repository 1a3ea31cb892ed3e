// Audio engine: EX_Transcode and EX_WaveMix run through the extension bridge
// as a page runs them, beside the command lines that do the same work, all
// timed in this run on the same 3-minute inputs; and the peak resident size
// of a process running each worker for a 1- and a 10-minute input.
//
//   - Transcode of an MP3 (44100 Hz stereo, 192 kbit/s), normalising off and
//     on, and the nbrun program running it, against
//     "ffmpeg -i in.mp3 -ar 44100 -ac 2 out.wav";
//   - WaveMix of two wave files against "sox -m".
//
// Run without arguments. With "--transcode <in> <out> <0|1>" or
// "--mix <main> <background> <out>" it runs one worker through the bridge
// and exits: the memory figures come from such a child. "--peak <command...>"
// runs a command and prints its peak resident size.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/script_array.h"
#include "platform/kernel/program_paths.h"

namespace {

using namespace nb::bench;

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

// The shell's side, with the two workers as a page calls them.
class BridgeShell {
   public:
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
        nb::Variant list;
        if (!TextList(list, texts)) return 0;
        const int index = static_cast<int>(texts.size());
        if (extra && FAILED(NB_ARRAY_ADDELEMENT(&list, index, extra))) return 0;
        if (!m_host.Call(function, list, "onAudio")) return 0;
        m_host.PumpWhile([&] { return m_host.WorkersLive(); }, 1);
        return m_host.LastStatus();
    }

    BridgeHost m_host;
};

// Runs a program to its end, waiting for it without polling: only its exit
// status counts here. (Its peak resident size comes from MeasurePeak.)
bool RunToEnd(const std::vector<std::string>& command, int output_fd = -1) {
    const pid_t pid = Spawn(command, output_fd);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The peak resident size of command on its own. A spawned process inherits
// the high-water mark of the memory it starts in, so a child of this (large)
// process would report at least this process's size: a fresh copy of this
// program, still small, starts it and writes the figure it gets to a pipe.
ChildRun MeasurePeak(const std::vector<std::string>& command) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return {};
    std::vector<std::string> measured = {nb::ProgramPath(), "--peak"};
    measured.insert(measured.end(), command.begin(), command.end());
    const bool launched = RunToEnd(measured, pipe_ends[1]);
    close(pipe_ends[1]);
    char text[32] = {};
    const ssize_t got = read(pipe_ends[0], text, sizeof text - 1);
    close(pipe_ends[0]);
    return {launched && got > 0, got > 0 ? std::atol(text) : 0};
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

// The whole program a person runs from a terminal: start, worker, end.
std::vector<std::string> NbrunTranscodeCommand(const std::string& input,
                                               const std::string& output) {
    return {std::string(NB_BENCH_APP_DIR) + "/nbrun", "Transcode",
            "[\"" + input + "\", \"" + output + "\", false, 1000]"};
}

std::vector<std::string> SoxMixCommand(const std::string& main, const std::string& background,
                                       const std::string& output) {
    return {"sox", "-m", main, background, output};
}

void PrintRow(const char* name, const char* reference, const Timing& timing) {
    std::printf("%-40s %9.3f %-12s %9.3f %7.3f\n", name, timing.ours, reference, timing.reference,
                timing.ours / timing.reference);
    const double work = timing.ours - kWorkerStartPauseSeconds;
    std::printf("%-40s %9.3f %-12s %9.3f %7.3f\n", "  without the 100 ms start pause", work, "",
                timing.reference, work / timing.reference);
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
    const auto ffmpeg = [&] { return RunToEnd(FfmpegCommand(mp3, ffmpeg_out)); };
    const Timing plain = BestOf(
        kRepeats, [&] { return shell.Transcode(mp3, decoded, false); }, ffmpeg);
    const Timing louder = BestOf(
        kRepeats, [&] { return shell.Transcode(mp3, normalised, true); }, ffmpeg);
    const std::string by_nbrun = folder + "/nbrun.wav";
    const int quiet = open("/dev/null", O_WRONLY);
    const Timing program = BestOf(
        kRepeats, [&] { return RunToEnd(NbrunTranscodeCommand(mp3, by_nbrun), quiet); }, ffmpeg);
    close(quiet);
    const Timing mix = BestOf(
        kRepeats, [&] { return shell.Mix(main, background, mixed); },
        [&] { return RunToEnd(SoxMixCommand(main, background, sox_out)); });
    std::printf("%d-minute inputs, best of %d runs each, seconds\n", kTimedMinutes, kRepeats);
    std::printf("%-40s %9s %-12s %9s %7s\n", "", "ours", "reference", "", "ratio");
    PrintRow("EX_Transcode MP3, normalise off", "ffmpeg", plain);
    PrintSizes(decoded, ffmpeg_out);
    PrintRow("EX_Transcode MP3, normalise on", "ffmpeg", louder);
    PrintSizes(normalised, ffmpeg_out);
    PrintRow("nbrun Transcode, the whole program", "ffmpeg", program);
    PrintSizes(by_nbrun, ffmpeg_out);
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
        transcode[index] = MeasurePeak({nb::ProgramPath(), "--transcode", mp3, out, "1"});
        ffmpeg[index] = MeasurePeak(FfmpegCommand(mp3, out));
        mix[index] = MeasurePeak({nb::ProgramPath(), "--mix", main, background, out});
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
