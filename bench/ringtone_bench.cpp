// Ringtones: EX_MakeRingtone cutting 30 seconds (fades of 1 and 2 seconds)
// out of a 3-minute canonical wave file, formats 4011 (wave) and 4010 (3GP,
// HE-AAC v2), run through the extension bridge as a page runs them. Beside
// them, measured in the same run: the HE-AAC v2 encoder alone on the same 30
// seconds of samples in memory, and "sox trim fade" making the same wave
// cut. Then the peak resident size of a process making each.
// The encoder alone encodes the samples of the wave cut: exactly what
// format 4010 hands it.
//
// Run without arguments. With "--cut <format> <input> <output>" it makes
// one ringtone through the bridge and exits: the memory figures come from
// such a child.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/script_array.h"
#include "heaac/he2_encoder.h"
#include "platform/kernel/program_paths.h"

namespace {

using namespace nb::bench;

constexpr int kRepeats = 3;
constexpr LONG kThreeGp = 4010;
constexpr LONG kWave = 4011;
constexpr LONG kWorking = 3301;
constexpr LONG kFinished = 3303;
constexpr LONG kStartMs = 60000;
constexpr LONG kLengthMs = 30000;
constexpr LONG kFadeInMs = 1000;
constexpr LONG kFadeOutMs = 2000;
constexpr int kSourceMinutes = 3;
// Every worker call pauses a tenth of a second after starting its thread.
constexpr double kWorkerStartPauseSeconds = 0.1;
constexpr double kFailed = std::numeric_limits<double>::infinity();
// The host wakes this often besides messages, to see the report soon.
constexpr DWORD kPumpWaitMs = 5;

std::vector<std::string> SoxCommand(const std::string& input, const std::string& output) {
    return {"sox",
            input,
            output,
            "trim",
            std::to_string(kStartMs / 1000),
            std::to_string(kLengthMs / 1000),
            "fade",
            "t",
            std::to_string(kFadeInMs / 1000.0),
            std::to_string(kLengthMs / 1000),
            std::to_string(kFadeOutMs / 1000.0)};
}

// Execute("MakeRingtone", [...], "onRingtone"): seconds until the page has
// the final report, or nothing when the worker did not finish.
std::optional<double> MakeRingtone(BridgeHost& host, LONG format, const std::string& input,
                                   const std::string& output) {
    nb::Variant list;
    const LONG numbers[] = {format, kStartMs, kLengthMs, 100, kFadeInMs, kFadeOutMs};
    bool built = TextList(list, {input, output});
    for (int i = 0; built && i < 6; ++i)
        built = SUCCEEDED(NB_ARRAY_ADDINT(&list, 2 + i, numbers[i]));
    if (!built) return std::nullopt;
    return host.TimedRun("MakeRingtone", list, "onRingtone", kWorking, kFinished, kPumpWaitMs);
}

// The HE-AAC v2 encoder by itself on the very samples format 4010 encodes
// (the wave cut's, volume and fades applied), already in memory as floats:
// the floor under format 4010.
std::optional<double> EncoderSeconds(const std::string& wave_cut) {
    std::ifstream file(wave_cut, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    if (bytes.size() <= 44) return std::nullopt;
    std::vector<float> samples((bytes.size() - 44) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        std::int16_t value = 0;
        std::memcpy(&value, bytes.data() + 44 + 2 * i, 2);
        samples[i] = value;
    }
    const auto start = Clock::now();
    heaac::He2Encoder::CreateResult created = heaac::He2Encoder::create({32000});
    if (!created.encoder) return std::nullopt;
    const std::size_t block = 2 * heaac::He2Encoder::kInputFrames;
    std::size_t units = 0;
    for (std::size_t at = 0; at < samples.size(); at += block) {
        const std::size_t n = std::min(block, samples.size() - at);
        if (!created.encoder->encode(std::span(samples).subspan(at, n)).access_unit.empty())
            ++units;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return units ? std::optional(seconds) : std::nullopt;
}

void PrintRow(const char* name, double ours, double reference) {
    std::printf("%-46s %10.3f %10.3f %8.2f\n", name, ours, reference, ours / reference);
}

void PrintTimes(const std::string& wave, const std::string& folder) {
    BridgeHost host;
    double wave_cut = kFailed, three_gp = kFailed, encoder = kFailed, sox = kFailed;
    // The runs alternate, so a change in the machine's load meets them all.
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        wave_cut = std::min(wave_cut,
                            MakeRingtone(host, kWave, wave, folder + "/r.wav").value_or(kFailed));
        three_gp = std::min(
            three_gp, MakeRingtone(host, kThreeGp, wave, folder + "/r.3gp").value_or(kFailed));
        encoder = std::min(encoder, EncoderSeconds(folder + "/r.wav").value_or(kFailed));
        sox =
            std::min(sox, ProgramSeconds(SoxCommand(wave, folder + "/sox.wav")).value_or(kFailed));
    }
    if (wave_cut == kFailed || three_gp == kFailed || encoder == kFailed || sox == kFailed)
        std::fprintf(stderr, "a run failed: the table below is not meaningful\n");
    std::printf("30 s ringtone from a %d-minute wave, wall time, best of %d runs each\n",
                kSourceMinutes, kRepeats);
    std::printf("%-46s %10s %10s %8s\n", "", "ours s", "ref s", "ratio");
    PrintRow("4011 wave vs sox trim+fade", wave_cut, sox);
    PrintRow("  without the 100 ms start pause", wave_cut - kWorkerStartPauseSeconds, sox);
    PrintRow("4010 3GP vs HE-AAC v2 encoder alone", three_gp, encoder);
    PrintRow("  without the 100 ms start pause", three_gp - kWorkerStartPauseSeconds, encoder);
    std::printf("%-46s %10.1f %10.1f\n", "  speed, multiple of real time",
                kLengthMs / 1000.0 / (three_gp - kWorkerStartPauseSeconds),
                kLengthMs / 1000.0 / encoder);
}

void PrintMemory(const std::string& wave, const std::string& folder) {
    const std::string self = nb::ProgramPath();
    const ChildRun wave_cut = RunChild({self, "--cut", "4011", wave, folder + "/m.wav"});
    const ChildRun three_gp = RunChild({self, "--cut", "4010", wave, folder + "/m.3gp"});
    const ChildRun sox = RunChild(SoxCommand(wave, folder + "/m_sox.wav"));
    std::printf("\npeak resident size of a process making the ringtone, kB\n");
    const auto row = [](const char* name, const ChildRun& run) {
        std::printf("%-46s %10ld%s\n", name, run.peak_kb, run.ok ? "" : "  (failed)");
    };
    row("EX_MakeRingtone 4011 through the bridge", wave_cut);
    row("EX_MakeRingtone 4010 through the bridge", three_gp);
    row("sox trim+fade (wave)", sox);
}

}  // namespace

int main(int argc, char** argv) {
    NbSetApplicationDirectory(NB_BENCH_APP_DIR);
    if (argc == 5 && std::strcmp(argv[1], "--cut") == 0) {
        BridgeHost host;
        return MakeRingtone(host, std::atoi(argv[2]), argv[3], argv[4]) ? 0 : 1;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "ringbench.XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    const std::string wave = folder + "/source.wav";
    if (!MakeNoiseWave(wave, kSourceMinutes)) {
        std::fprintf(stderr, "ffmpeg could not make %s\n", wave.c_str());
        return 1;
    }
    PrintTimes(wave, folder);
    PrintMemory(wave, folder);
    std::filesystem::remove_all(folder);
    return 0;
}
