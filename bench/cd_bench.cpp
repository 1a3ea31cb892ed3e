// CD audio through the extension bridge as a page runs it, beside the
// command line that does the same work, timed in this run on the same disc
// images:
//
//   - EX_RipAudioCdTrack of a 5-minute track (noise, dense as music) against
//     "cd-paranoia -d image.cue 1", both with paranoia's full checking, in
//     multiples of real time;
//   - EX_GetDiskId of a 20-track image against libcdio opening the same
//     image and reading its table of contents in this process (the least
//     the work can cost), and against "cd-paranoia -Q", which does that and
//     reports on the disc as a program.
//
// Run without arguments.
#include <cdio/cdio.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/script_array.h"
#include "platform/cdrip/tests/disc_image.h"

namespace {

using namespace nb::bench;
using nb::cdrip::testing::MakeDiscImage;
using nb::cdrip::testing::TrackSpec;

constexpr int kRepeats = 3;
constexpr int kIdCalls = 50;
constexpr std::uint32_t kTrackSectors = 75 * 60 * 5;
constexpr double kTrackSeconds = kTrackSectors / 75.0;
constexpr int kManyTracks = 20;
constexpr LONG kRipFinished = 3302;
// Every worker start pauses a tenth of a second before the script goes on.
constexpr double kWorkerStartPauseSeconds = 0.1;

// Runs a program to its end with its messages (cd-paranoia writes its
// report to standard error) out of the table.
bool RunToEnd(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The table of contents straight from libcdio's image reader.
bool ReadTocWithLibcdio(const std::string& cue) {
    CdIo_t* cdio = cdio_open_cue(cue.c_str());
    if (cdio == nullptr) return false;
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    bool read = first != CDIO_INVALID_TRACK && count != CDIO_INVALID_TRACK;
    for (track_t track = first; read && track < first + count; ++track)
        read = cdio_get_track_lsn(cdio, track) != CDIO_INVALID_LSN;
    read = read && cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK) != CDIO_INVALID_LSN;
    cdio_destroy(cdio);
    return read;
}

class CdShell {
   public:
    bool Rip(const std::string& output) {
        nb::Variant list;
        if (FAILED(NB_ARRAY_CREATE(&list)) || FAILED(NB_ARRAY_ADDINT(&list, 0, 0)) ||
            FAILED(NB_ARRAY_ADDINT(&list, 1, 0)))
            return false;
        nb::Variant path;
        SetText(path, output);
        if (FAILED(NB_ARRAY_ADDELEMENT(&list, 2, &path))) return false;
        if (!m_host.Call("RipAudioCdTrack", list, "onRip")) return false;
        m_host.PumpWhile([&] { return m_host.WorkersLive(); }, 1);
        return m_host.LastStatus() == kRipFinished;
    }

    bool DiskId() {
        nb::Variant list;
        if (FAILED(NB_ARRAY_CREATE(&list)) || FAILED(NB_ARRAY_ADDINT(&list, 0, 0))) return false;
        return m_host.Call("GetDiskId", list, "").has_value();
    }

   private:
    BridgeHost m_host;
};

void PrintRow(const char* name, const char* reference, double ours, double theirs) {
    std::printf("%-44s %9.4f %-14s %9.4f %7.3f\n", name, ours, reference, theirs, ours / theirs);
}

// Whether a wave file holds exactly these samples after its 44-byte header.
bool HoldsTheSamples(const std::string& path, const std::vector<std::uint8_t>& samples) {
    std::ifstream file(path, std::ios::binary);
    file.seekg(44);
    const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(file),
                                         std::istreambuf_iterator<char>()};
    return data == samples;
}

void PrintMicroseconds(const char* name, const char* reference, double ours, double theirs) {
    std::printf("%-44s %9.0f %-14s %9.0f %7.3f\n", name, ours, reference, theirs, ours / theirs);
}

bool Run(const std::string& folder) {
    const auto track = MakeDiscImage(
        folder, "track", {{true, kTrackSectors, "anoisesrc=c=pink:a=0.5:r=44100:seed=1", 0}});
    std::vector<TrackSpec> many(kManyTracks, TrackSpec{true, 75 * 60 * 3, "", 0});
    const auto album = MakeDiscImage(folder, "album", many);
    if (!track || !album) {
        std::fprintf(stderr, "ffmpeg could not make the images\n");
        return false;
    }
    CdShell shell;
    const std::string ours = folder + "/ours.wav", theirs = folder + "/theirs.wav";
    setenv("NIMBRA_CD_IMAGE", track->cue_path.c_str(), 1);
    const Timing rip = BestOf(
        kRepeats, [&] { return shell.Rip(ours); },
        [&] {
            return RunToEnd({"cd-paranoia", "-q", "-d", track->cue_path, "1", theirs});
        });
    setenv("NIMBRA_CD_IMAGE", album->cue_path.c_str(), 1);
    const auto times = [](auto work) {
        return [work] {
            for (int call = 0; call < kIdCalls; ++call)
                if (!work()) return false;
            return true;
        };
    };
    Timing in_process = BestOf(kRepeats, times([&] { return shell.DiskId(); }),
                               times([&] { return ReadTocWithLibcdio(album->cue_path); }));
    in_process.ours /= kIdCalls;
    in_process.reference /= kIdCalls;
    const Timing program = BestOf(
        kRepeats, [] { return true; },
        [&] {
            return RunToEnd({"cd-paranoia", "-Q", "-d", album->cue_path});
        });

    std::printf("best of %d runs each, seconds\n", kRepeats);
    std::printf("%-44s %9s %-14s %9s %7s\n", "", "ours", "reference", "", "ratio");
    PrintRow("EX_RipAudioCdTrack, 5-minute track", "cd-paranoia", rip.ours, rip.reference);
    PrintRow("  without the 100 ms start pause", "", rip.ours - kWorkerStartPauseSeconds,
             rip.reference);
    std::printf("%-44s %9.1f %-14s %9.1f %7.3f\n", "  multiples of real time",
                kTrackSeconds / rip.ours, "", kTrackSeconds / rip.reference,
                rip.reference / rip.ours);
    std::printf("%-44s %9ju %-14s %9ju\n", "  output bytes", SizeOf(ours), "", SizeOf(theirs));
    std::printf("%-44s %9s %-14s %9s\n", "  the image's samples, bit for bit",
                HoldsTheSamples(ours, track->sound[0]) ? "yes" : "no", "",
                HoldsTheSamples(theirs, track->sound[0]) ? "yes" : "no");
    std::printf("\n%-44s %9s %-14s %9s %7s\n", "microseconds a call", "ours", "reference", "",
                "ratio");
    const auto micro = [](double seconds) { return seconds * 1e6; };
    PrintMicroseconds("EX_GetDiskId, 20-track image", "libcdio TOC", micro(in_process.ours),
                      micro(in_process.reference));
    PrintMicroseconds("", "cd-paranoia -Q", micro(in_process.ours), micro(program.reference));
    return true;
}

}  // namespace

int main() {
    NbSetApplicationDirectory(NB_BENCH_APP_DIR);
    std::string pattern = (std::filesystem::temp_directory_path() / "cdbench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    // The ripping library's settings file stays in the benchmark's folder.
    setenv("TMPDIR", pattern.c_str(), 1);
    const bool ran = Run(pattern);
    std::filesystem::remove_all(pattern);
    return ran ? 0 : 1;
}
