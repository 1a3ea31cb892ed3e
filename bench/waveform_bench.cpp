// Waveform pictures: EX_BuildWaveforms drawing all ten levels of a 3- and a
// 60-minute song, run through the extension bridge as a page runs it,
// beside FFmpeg's showwavespic drawing pictures of the same ten sizes from
// the same wave file in one run; both timed in this run, and the peak
// resident size of a process doing each.
//
// The songs are canonical 44100 Hz 16-bit stereo wave files of pink noise
// and a tone under a slow swell, made with ffmpeg.
//
// Run without arguments. With "--build <input> <folder>" it only draws the
// pictures once through the bridge: the memory figures come from such a
// child.
#include <algorithm>
#include <cstdio>
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
constexpr int kShortMinutes = 3;
constexpr int kLongMinutes = 60;
constexpr int kLevels = 10;
constexpr LONG kFinished = 3303;
// Every worker start pauses a tenth of a second before the script goes on.
constexpr double kWorkerStartPauseSeconds = 0.1;
// The host wakes this often besides messages, leaving the processor to the worker.
constexpr DWORD kPumpWaitMs = 20;

int Width(int level) { return level <= 1 ? 680 : 680 << (level - 1); }
int Height(int level) { return level == 0 ? 24 : 80; }

std::string Picture(const std::string& folder, const std::string& who, int level) {
    return folder + "/" + who + std::to_string(level) + ".png";
}

bool MakeSong(const std::string& path, int minutes) {
    const std::string seconds = std::to_string(minutes * 60);
    const std::string noise = "anoisesrc=c=pink:a=0.3:r=44100:d=" + seconds;
    const std::string command = "ffmpeg -v error -y -filter_complex '" + noise + ":seed=1[l];" +
                                noise +
                                ":seed=2[r];[l][r]join=inputs=2:channel_layout=stereo[n];"
                                "sine=f=220:r=44100:d=" +
                                seconds +
                                ",aformat=channel_layouts=stereo[s];"
                                "[n][s]amix=inputs=2,volume=0.6+0.4*sin(t/7):eval=frame' "
                                "-c:a pcm_s16le -bitexact -f wav '" +
                                path + "'";
    return std::system(command.c_str()) == 0;
}

// One ffmpeg run: the sound split ten ways, each drawn at a level's size.
std::vector<std::string> FfmpegCommand(const std::string& input, const std::string& folder) {
    std::string graph = "[0:a]asplit=" + std::to_string(kLevels);
    for (int level = 0; level < kLevels; ++level) graph += "[a" + std::to_string(level) + "]";
    for (int level = 0; level < kLevels; ++level)
        graph += ";[a" + std::to_string(level) + "]showwavespic=s=" + std::to_string(Width(level)) +
                 "x" + std::to_string(Height(level)) + "[v" + std::to_string(level) + "]";
    std::vector<std::string> command = {"ffmpeg", "-v",  "error",           "-y",
                                        "-i",     input, "-filter_complex", graph};
    for (int level = 0; level < kLevels; ++level) {
        const std::vector<std::string> output = {"-map", "[v" + std::to_string(level) + "]",
                                                 "-frames:v", "1",
                                                 Picture(folder, "ffmpeg", level)};
        command.insert(command.end(), output.begin(), output.end());
    }
    return command;
}

// Execute("BuildWaveforms", [input, [ten pictures]], "onWaveforms"), then
// the messages flow until the worker has gone. True when it finished.
bool BuildWaveforms(BridgeHost& host, const std::string& input, const std::string& folder) {
    std::vector<std::string> targets;
    for (int level = 0; level < kLevels; ++level) targets.push_back(Picture(folder, "ours", level));
    nb::Variant list, pictures;
    if (!TextList(list, {input}) || !TextList(pictures, targets) ||
        FAILED(NB_ARRAY_ADDELEMENT(&list, 1, &pictures)))
        return false;
    if (!host.Call("BuildWaveforms", list, "onWaveforms")) return false;
    host.PumpWhile([&] { return host.WorkersLive(); }, kPumpWaitMs);
    return host.LastStatus() == kFinished;
}

void PrintRow(const std::string& name, const Timing& timing) {
    std::printf("%-44s %9.3f %9.3f %7.3f\n", name.c_str(), timing.ours, timing.reference,
                timing.ours / timing.reference);
    const double work = timing.ours - kWorkerStartPauseSeconds;
    std::printf("%-44s %9.3f %9.3f %7.3f\n", "  without the 100 ms start pause", work,
                timing.reference, work / timing.reference);
}

struct Song {
    int minutes;
    std::string path;
};

void PrintTimes(const std::vector<Song>& songs, const std::string& folder) {
    BridgeHost host;
    std::printf("all ten levels of one song, seconds (best of %d for %d minutes, one run for %d)\n",
                kRepeats, kShortMinutes, kLongMinutes);
    std::printf("%-44s %9s %9s %7s\n", "", "ours", "ffmpeg", "ratio");
    for (const Song& song : songs) {
        const Timing timing = BestOf(
            song.minutes == kShortMinutes ? kRepeats : 1,
            [&] { return BuildWaveforms(host, song.path, folder); },
            [&] { return RunChild(FfmpegCommand(song.path, folder)).ok; });
        PrintRow("EX_BuildWaveforms, " + std::to_string(song.minutes) + " min vs showwavespic",
                 timing);
    }
}

void PrintMemory(const std::vector<Song>& songs, const std::string& folder) {
    ChildRun ours[2], ffmpeg[2];
    for (std::size_t index = 0; index < songs.size() && index < 2; ++index) {
        ours[index] = RunChild({nb::ProgramPath(), "--build", songs[index].path, folder});
        ffmpeg[index] = RunChild(FfmpegCommand(songs[index].path, folder));
    }
    std::printf("\npeak resident size of a process drawing all ten levels, kB\n");
    std::printf("%-44s %10s %10s %8s\n", "", "3 min", "60 min", "growth");
    const auto row = [](const char* name, const ChildRun(&runs)[2]) {
        std::printf("%-44s %10ld %10ld %8.3f%s\n", name, runs[0].peak_kb, runs[1].peak_kb,
                    static_cast<double>(runs[1].peak_kb) / static_cast<double>(runs[0].peak_kb),
                    runs[0].ok && runs[1].ok ? "" : "  (a run failed)");
    };
    row("EX_BuildWaveforms, bridge", ours);
    row("ffmpeg showwavespic", ffmpeg);
    std::printf("%-44s %10.3f %10.3f\n", "ratio ours / ffmpeg",
                static_cast<double>(ours[0].peak_kb) / static_cast<double>(ffmpeg[0].peak_kb),
                static_cast<double>(ours[1].peak_kb) / static_cast<double>(ffmpeg[1].peak_kb));
}

}  // namespace

int main(int argc, char** argv) {
    NbSetApplicationDirectory(NB_BENCH_APP_DIR);
    if (argc == 4 && std::strcmp(argv[1], "--build") == 0) {
        BridgeHost host;
        return BuildWaveforms(host, argv[2], argv[3]) ? 0 : 1;
    }
    if (argc > 1) {
        std::fprintf(stderr, "usage: %s [--build <input> <folder>]\n", argv[0]);
        return 2;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "wavebench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const std::vector<Song> songs = {{kShortMinutes, pattern + "/short.wav"},
                                     {kLongMinutes, pattern + "/long.wav"}};
    for (const Song& song : songs) {
        if (!MakeSong(song.path, song.minutes)) {
            std::fprintf(stderr, "ffmpeg could not make the songs\n");
            std::filesystem::remove_all(pattern);
            return 1;
        }
    }
    PrintTimes(songs, pattern);
    PrintMemory(songs, pattern);
    std::filesystem::remove_all(pattern);
    return 0;
}
