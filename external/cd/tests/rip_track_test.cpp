// EX_RipAudioCdTrack through the real module against disc images made at
// test time: the wave file against the samples put into the image, the
// reports, every status, and what a stop or a failure leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "external/audio/tests/audio_test_support.h"
#include "external/cd/tests/cd_test_support.h"
#include "platform/text/code_pages.h"

namespace nb::external::cd::testing {
namespace {

using audio::testing::Numbers;
using audio::testing::ReadWave;
using audio::testing::RunWorker;
using audio::testing::StartWorker;
using audio::testing::WaveContents;
using audio::testing::WorkerRun;
using cdrip::testing::Noise;
using cdrip::testing::Tones;
using nb::external::testing::ReportKind;
using nb::external::testing::TestValue;

constexpr LONGLONG kRunning = 3301;
constexpr LONGLONG kFinished = 3302;
constexpr std::size_t kSectorBytes = 2352;

class RipTrackTest : public CdTest {
   protected:
    WorkerRun Rip(std::initializer_list<TestValue> arguments) {
        return RunWorker(m_shell, "EX_RipAudioCdTrack", arguments);
    }
    static std::vector<std::uint8_t> BytesOf(const WaveContents& wave) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(wave.samples.data());
        return {bytes, bytes + wave.samples.size() * 2};
    }
    void ExpectNoOutputBut(const std::string& contents) {
        std::ifstream file(ToUtf8(Output()));
        const std::string text{std::istreambuf_iterator<char>(file),
                               std::istreambuf_iterator<char>()};
        EXPECT_EQ(text, contents);
        EXPECT_TRUE(m_folder.StagedFiles().empty());
    }
};

// Tones on one track, noise on the next: each comes out as the canonical
// wave file of exactly the samples the image holds, whatever file was there.
TEST_F(RipTrackTest, RipsATrackIntoACanonicalWaveFileBitExact) {
    const DiscImage image = Make({{true, 400, Tones(440, 1000), 0}, {true, 330, Noise(3), 0}});
    UseImage(image.cue_path);
    for (LONG track = 0; track < 2; ++track) {
        std::ofstream(ToUtf8(Output())) << "an older file";
        const WorkerRun run = Rip({LONG{0}, track, Output(), LONG{100}});
        ASSERT_FALSE(run.reports.empty());
        const auto bytes = static_cast<LONGLONG>(image.sound[track].size());
        const auto& last = run.reports.back();
        EXPECT_EQ(last.kind, ReportKind::Callback);
        const std::vector<LONGLONG> final_values = Numbers(last);
        ASSERT_EQ(final_values.size(), 4u);
        EXPECT_EQ(final_values[0], kFinished);
        EXPECT_EQ(final_values[1], bytes);
        EXPECT_EQ(final_values[2], bytes);
        EXPECT_GE(final_values[3], 0);
        for (std::size_t i = 0; i + 1 < run.reports.size(); ++i) {
            const std::vector<LONGLONG> progress = Numbers(run.reports[i]);
            EXPECT_EQ(progress[0], kRunning);
            EXPECT_LE(progress[1], bytes);
            EXPECT_EQ(progress[2], bytes);
        }
        const WaveContents wave = ReadWave(ToUtf8(Output()));
        ASSERT_EQ(wave.header.status, audio::WaveHeaderStatus::Accepted);
        EXPECT_EQ(wave.header.data_bytes, final_values[1]);
        EXPECT_TRUE(BytesOf(wave) == image.sound[track]) << "track " << track;
        EXPECT_TRUE(m_folder.StagedFiles().empty());
        EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
    }
}

// The last audio track of an enhanced disc ends where its session does: the
// gap before the data session is not ripped.
TEST_F(RipTrackTest, TheLastAudioTrackOfAnEnhancedDiscEndsBeforeTheGap) {
    const DiscImage image = Make(
        {{true, 150, Tones(300, 500), 0}, {true, 160, Noise(5), 0}, {false, 75, "", kSessionGap}});
    UseImage(image.cue_path);
    const WorkerRun run = Rip({LONG{0}, LONG{1}, Output()});
    ASSERT_FALSE(run.reports.empty());
    EXPECT_EQ(Numbers(run.reports.back()),
              (std::vector<LONGLONG>{kFinished, 160 * kSectorBytes, 160 * kSectorBytes,
                                     Numbers(run.reports.back())[3]}));
    EXPECT_TRUE(BytesOf(ReadWave(ToUtf8(Output()))) == image.sound[1]);
}

struct StatusCase {
    const char* why;
    std::string image;  // the sheet named as drive 0
    std::vector<TestValue> arguments;
    LONGLONG status;
};

// Each failure is one status call, leaves no output and keeps a file the
// output named as it was.
TEST_F(RipTrackTest, EachFailureIsOneStatusAndLeavesTheOutputAlone) {
    const DiscImage good = Make({{true, 200, Tones(440, 550), 0}, {false, 100, "", 0}}, "good");
    // Its BIN lost its end in the second track; the third starts past it.
    const DiscImage damaged =
        Make({{true, 300, "", 0}, {true, 300, Noise(9), 0}, {true, 300, "", 0}}, "damaged");
    std::filesystem::resize_file(damaged.bin_path, 450 * kSectorBytes);
    std::ofstream(m_folder / "bad.cue") << "FILE \"bad.bin\" BINARY\n  TRACK 01 AUDIO\n";
    std::filesystem::copy_file(good.bin_path, m_folder / "bad.bin");
    UseImage(good.cue_path);
    const auto drives =
        static_cast<LONG>(m_shell.Call(nb::external::testing::LoadExport("EX_GetDrivesInfo"), {})
                              .result.elements.size());
    const std::u16string out = Output();
    const std::vector<StatusCase> cases = {
        {"one past the drives", good.cue_path, {drives, LONG{0}, out}, 3200},
        {"a negative drive", good.cue_path, {LONG{-1}, LONG{0}, out}, 3200},
        {"no disc", m_folder / "missing.cue", {LONG{0}, LONG{0}, out}, 3202},
        {"a sheet without an index", m_folder / "bad.cue", {LONG{0}, LONG{0}, out}, 3203},
        {"one past the tracks", good.cue_path, {LONG{0}, LONG{2}, out}, 3204},
        {"a negative track", good.cue_path, {LONG{0}, LONG{-1}, out}, 3204},
        {"a data track", good.cue_path, {LONG{0}, LONG{1}, out}, 3205},
        {"a folder that is not there",
         good.cue_path,
         {LONG{0}, LONG{0}, ToUtf16(m_folder / "none/out.wav")},
         3207},
        {"the image's own BIN", good.cue_path, {LONG{0}, LONG{0}, ToUtf16(good.bin_path)}, 3207},
        {"sectors the image lost", damaged.cue_path, {LONG{0}, LONG{1}, out}, 3208},
        {"a disk that is full",
         good.cue_path,
         {LONG{0}, LONG{0}, std::u16string(u"/dev/full")},
         3209},
        {"a track starting past the lead-out", damaged.cue_path, {LONG{0}, LONG{2}, out}, 3212},
    };
    const auto bin_size = std::filesystem::file_size(good.bin_path);
    for (const StatusCase& c : cases) {
        std::ofstream(ToUtf8(out)) << "kept";
        UseImage(c.image);
        const WorkerRun run = RunWorker(m_shell, "EX_RipAudioCdTrack",
                                        {c.arguments[0], c.arguments[1], c.arguments[2]});
        // Chunks read before a failure may have been reported on their way.
        ASSERT_FALSE(run.reports.empty()) << c.why;
        for (std::size_t i = 0; i + 1 < run.reports.size(); ++i)
            EXPECT_EQ(Numbers(run.reports[i])[0], kRunning) << c.why;
        EXPECT_EQ(run.reports.back().kind, ReportKind::Notify) << c.why;
        EXPECT_EQ(Numbers(run.reports.back()), std::vector<LONGLONG>{c.status}) << c.why;
        EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL) << c.why;
        ExpectNoOutputBut("kept");
    }
    EXPECT_EQ(std::filesystem::file_size(good.bin_path), bin_size);
}

// A stop aimed at every worker ends the rip with 3300 and removes what was
// written; the file the output named stays as it was.
TEST_F(RipTrackTest, AStopEndsTheRipAndLeavesNoFile) {
    // Twenty minutes of silence: long enough to be stopped on its way.
    const DiscImage image = Make({{true, 75 * 60 * 20, "", 0}});
    UseImage(image.cue_path);
    std::ofstream(ToUtf8(Output())) << "kept";
    const DWORD thread =
        StartWorker(m_shell, "EX_RipAudioCdTrack", {LONG{0}, LONG{0}, Output(), LONG{100}});
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(m_shell.PumpUntil([&] { return !m_shell.ReportsOf(thread).empty(); }, 20000));
    m_shell.SendCommand(0, NB_COMMAND_STOP);
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread));
    const auto reports = m_shell.ReportsOf(thread);
    EXPECT_EQ(reports.front().kind, ReportKind::Callback);
    EXPECT_EQ(Numbers(reports.front())[0], kRunning);
    EXPECT_EQ(reports.back().kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(reports.back()), std::vector<LONGLONG>{3300});
    ExpectNoOutputBut("kept");
}

// An interval below 100 ms is raised to 100: progress reports come at least
// that far apart.
TEST_F(RipTrackTest, AShortReportIntervalIsRaisedToATenthOfASecond) {
    // A quarter of an hour: long enough for several reports.
    const DiscImage image = Make({{true, 75 * 60 * 15, "", 0}});
    UseImage(image.cue_path);
    const WorkerRun run = Rip({LONG{0}, LONG{0}, Output(), LONG{10}});
    ASSERT_GE(run.reports.size(), 3u) << "the rip was too quick to measure";
    for (std::size_t i = 1; i + 1 < run.reports.size(); ++i) {
        const LONGLONG apart = Numbers(run.reports[i])[3] - Numbers(run.reports[i - 1])[3];
        EXPECT_GE(apart, 95) << "reports " << i - 1 << " and " << i;
    }
}

TEST_F(RipTrackTest, WrongArgumentsStartNoWorker) {
    const struct {
        std::vector<TestValue> arguments;
        WORD code;
    } cases[] = {
        {{LONG{0}, LONG{0}}, 2100},
        {{LONG{0}, LONG{0}, Output(), LONG{100}, LONG{1}}, 2100},
        {{std::u16string(u"0"), LONG{0}, Output()}, 2101},
        {{LONG{0}, true, Output()}, 2101},
        {{LONG{0}, LONG{0}, LONG{5}}, 2101},
        {{LONG{0}, LONG{0}, Output(), std::u16string(u"100")}, 2101},
    };
    for (const auto& c : cases) {
        const auto outcome =
            m_shell.Call(nb::external::testing::LoadExport("EX_RipAudioCdTrack"), c.arguments);
        EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_EQ(outcome.source, u"External::RipAudioCdTrack");
    }
    EXPECT_EQ(m_shell.registrations(), 0);
}

}  // namespace
}  // namespace nb::external::cd::testing
