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
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/script_array.h"
#include "platform/kernel/program_paths.h"

namespace {

using namespace nb::bench;

constexpr int kRepeats = 3;
constexpr LONG kBitRateKbps = 128;
constexpr LONG kWorking = 3301;
constexpr LONG kFinished = 3302;
constexpr int kTimedMinutes = 3;
constexpr int kSmallMinutes = 1;
constexpr int kLargeMinutes = 10;
// EX_MakeMP3 pauses a tenth of a second after starting every worker.
constexpr double kWorkerStartPauseSeconds = 0.1;
// The host wakes this often besides messages, leaving the processor to the encoder.
constexpr DWORD kPumpWaitMs = 20;

std::vector<std::string> LameCommand(const std::string& input, const std::string& output) {
    return {"lame", "--quiet", "-m",      "j",  "-V", "0",          "-b",   "96",  "-B",
            "128",  "-p",      "--nores", "-q", "2",  "--resample", "44.1", input, output};
}

// Execute("MakeMP3", [input, output, 128], "onMp3"): the seconds until the
// page has the final report, or nothing when the worker did not finish.
// Returns once the worker has gone.
std::optional<double> MakeMp3(BridgeHost& host, const std::string& input,
                              const std::string& output) {
    nb::Variant list;
    if (!TextList(list, {input, output}) || FAILED(NB_ARRAY_ADDINT(&list, 2, kBitRateKbps)))
        return std::nullopt;
    return host.TimedRun("MakeMP3", list, "onMp3", kWorking, kFinished, kPumpWaitMs);
}

void PrintTimes(const std::string& folder) {
    const std::string wave = folder + "/timed.wav";
    if (!MakeNoiseWave(wave, kTimedMinutes)) {
        std::fprintf(stderr, "ffmpeg could not make %s\n", wave.c_str());
        return;
    }
    const std::string ours = folder + "/timed.mp3", reference = folder + "/timed_lame.mp3";
    BridgeHost host;
    // The runs alternate, so a change in the machine's load meets both.
    constexpr double kFailed = std::numeric_limits<double>::infinity();
    double make_mp3 = kFailed, lame = kFailed;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        make_mp3 = std::min(make_mp3, MakeMp3(host, wave, ours).value_or(kFailed));
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
        if (!MakeNoiseWave(wave, minutes[index])) return;
        ours[index] = RunChild({nb::ProgramPath(), "--encode", wave, wave + ".mp3"});
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
        BridgeHost host;
        return MakeMp3(host, argv[2], argv[3]) ? 0 : 1;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "mp3bench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    PrintTimes(pattern);
    PrintMemory(pattern);
    std::filesystem::remove_all(pattern);
    return 0;
}
