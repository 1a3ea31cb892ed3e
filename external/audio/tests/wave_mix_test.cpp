// EX_WaveMix through the real module, on wave files the tests write sample by
// sample so that every output sample can be worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "external/audio/tests/audio_test_support.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::audio::testing {
namespace {

using nb::external::testing::Report;
using nb::external::testing::ReportKind;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;

constexpr LONG kWorking = 3301;
constexpr LONG kFinished = 3302;
constexpr std::size_t kBlockSamples = 1024;

Samples Constant(std::size_t count, std::int16_t value) { return Samples(count, value); }

// Samples counting up from first, wrapping at the 16-bit limit.
Samples Ramp(std::size_t count, int first) {
    Samples samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(first + static_cast<int>(i % 20000));
    return samples;
}

Samples Concatenated(Samples first, const Samples& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class WaveMixTest : public ::testing::Test {
   protected:
    std::string Write(const std::string& name, const Samples& samples, long data_bytes = -1) {
        const std::string path = m_folder / name;
        WriteWave(path, samples, data_bytes);
        return path;
    }
    WorkerRun Mix(const std::string& main, const std::string& background,
                  const std::string& output) {
        return RunWorker(m_shell, "EX_WaveMix",
                         {ToUtf16(main), ToUtf16(background), ToUtf16(output)});
    }
    // Mixes and answers the output's samples; the run must end finished.
    Samples MixToEnd(const Samples& main, const Samples& background) {
        const WorkerRun run =
            Mix(Write("main.wav", main), Write("background.wav", background), Output());
        ExpectOneStatusCall(run, kFinished);
        const WaveContents wave = ReadWave(Output());
        EXPECT_EQ(wave.header.status, WaveHeaderStatus::Accepted);
        EXPECT_EQ(wave.header.data_bytes, main.size() * 2);
        return wave.samples;
    }
    static void ExpectOneStatusCall(const WorkerRun& run, LONG status) {
        ASSERT_EQ(run.reports.size(), 1u);
        EXPECT_EQ(run.reports[0].kind, ReportKind::Notify);
        EXPECT_EQ(Numbers(run.reports[0]), std::vector<LONGLONG>{status});
        EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
    }
    std::string Output() const { return m_folder / "mixed.wav"; }

    ShellDouble m_shell;
    TemporaryFolder m_folder;
};

struct GainCase {
    const char* name;
    std::int16_t main;
    std::int16_t background;
    std::int16_t expected;
};
void PrintTo(const GainCase& c, std::ostream* os) { *os << c.name; }

class BackgroundGain : public WaveMixTest, public ::testing::WithParamInterface<GainCase> {};

// Constant blocks: out = gain x background + 0.85 x main, where the gain is
// three times the main block's mean level over full scale, within 0.2..1.
TEST_P(BackgroundGain, FollowsTheMainLevelAndClamps) {
    const GainCase& c = GetParam();
    const Samples out =
        MixToEnd(Constant(2 * kBlockSamples, c.main), Constant(2 * kBlockSamples, c.background));
    EXPECT_EQ(out, Constant(2 * kBlockSamples, c.expected));
}

INSTANTIATE_TEST_SUITE_P(Levels, BackgroundGain,
                         ::testing::Values(
                             // Silence under the main sound leaves the background at 0.2.
                             GainCase{"silent_main", 0, 1000, 200},
                             GainCase{"silent_main_negative", 0, -1001, -200},
                             // 3 x 5461 / 32767 = 0.49998: 499.98 + 4641.85.
                             GainCase{"sixth_of_full_scale", 5461, 1000, 5141},
                             // A third of full scale and more: gain 1.
                             GainCase{"third_of_full_scale", 10923, 1000, 10284},
                             GainCase{"negative_main_counts_by_magnitude", -10923, 1000, -8284},
                             // Two full-scale inputs clamp, and -32768 never comes out.
                             GainCase{"full_scale", 32767, 32767, 32767},
                             GainCase{"negative_full_scale", -32768, -32768, -32767},
                             // -32768 + 27851.95, truncated toward zero.
                             GainCase{"opposite_signs", 32767, -32768, -4916}),
                         [](const ::testing::TestParamInfo<GainCase>& param_info) {
                             return param_info.param.name;
                         });

// The gain is worked out block by block: a loud block after a silent one.
TEST_F(WaveMixTest, EachBlockHasItsOwnGain) {
    const Samples main = Concatenated(Constant(kBlockSamples, 0), Constant(kBlockSamples, 12000));
    const Samples out = MixToEnd(main, Constant(2 * kBlockSamples, 2000));
    EXPECT_EQ(out, Concatenated(Constant(kBlockSamples, 400), Constant(kBlockSamples, 12200)));
}

// A background longer than the main sound is cut at the main sound's end;
// a shorter one starts over from its first sample.
TEST_F(WaveMixTest, TheBackgroundIsCutOrRepeated) {
    // Under silence the background comes through at 0.2.
    const auto under_silence = [](const Samples& background, std::size_t length) {
        Samples expected(length);
        for (std::size_t i = 0; i < length; ++i)
            expected[i] = static_cast<std::int16_t>(0.2 * background[i % background.size()]);
        return expected;
    };
    const Samples longer = Ramp(5000, 100);
    EXPECT_EQ(MixToEnd(Constant(2500, 0), longer), under_silence(longer, 2500));
    // 3000 samples: not a whole number of blocks, so the starts over fall
    // inside blocks.
    const Samples shorter = Ramp(3000, -500);
    EXPECT_EQ(MixToEnd(Constant(8000, 0), shorter), under_silence(shorter, 8000));
}

// A background shorter than a block repeats within a block only as far as
// one new start reaches; the rest of that block is silence.
TEST_F(WaveMixTest, ABackgroundShorterThanABlockRepeatsOnceABlock) {
    const Samples background = Ramp(100, 1000);
    const Samples out = MixToEnd(Constant(2 * kBlockSamples, 0), background);
    Samples expected(2 * kBlockSamples, 0);
    // The first block holds the background twice: what was left of it, and
    // one more from its start. The next block starts at its end and so gets
    // it once.
    for (std::size_t i = 0; i < 200; ++i)
        expected[i] = static_cast<std::int16_t>(0.2 * background[i % 100]);
    for (std::size_t i = 0; i < 100; ++i)
        expected[kBlockSamples + i] = static_cast<std::int16_t>(0.2 * background[i]);
    EXPECT_EQ(out, expected);
}

// The main file is mixed to its end, past the length its header gives; the
// output's header gives that length, rounded down to whole samples.
TEST_F(WaveMixTest, MixesTheMainFileToItsEndUnderItsAnnouncedLength) {
    const std::string main = Write("main.wav", Constant(3000, 0), 2001);
    const WorkerRun run = Mix(main, Write("background.wav", Constant(3000, 500)), Output());
    ExpectOneStatusCall(run, kFinished);
    const WaveContents wave = ReadWave(Output());
    EXPECT_EQ(wave.header.data_bytes, 2000u);
    EXPECT_EQ(wave.samples, Constant(3000, 100));
}

TEST_F(WaveMixTest, AnEmptyMainSoundGivesOnlyAHeader) {
    const WorkerRun run =
        Mix(Write("main.wav", {}), Write("background.wav", Constant(10, 1)), Output());
    ExpectOneStatusCall(run, kFinished);
    EXPECT_EQ(std::filesystem::file_size(Output()), 44u);
    EXPECT_EQ(ReadWave(Output()).header.status, WaveHeaderStatus::Accepted);
}

struct FailureCase {
    const char* name;
    const char* main;  // one of the files below, or a name that does not exist
    const char* background;
    const char* output;  // under the test's folder unless absolute
    LONG status;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class WaveMixFailure : public WaveMixTest, public ::testing::WithParamInterface<FailureCase> {
   protected:
    void SetUp() override {
        Write("good.wav", Constant(4096, 100));
        std::ofstream(m_folder / "short.wav") << std::string(43, 'R');
        ASSERT_TRUE(RunTool("sox -n -r 44100 -c 1 -b 16 '" + m_folder / "mono.wav" +
                            "' synth 0.1 sine 440"));
        ASSERT_TRUE(RunTool("sox -n -r 48000 -c 2 -b 16 '" + m_folder / "rate_48000.wav" +
                            "' synth 0.1 sine 440"));
    }
};

TEST_P(WaveMixFailure, IsOneStatusCall) {
    const FailureCase& c = GetParam();
    const std::string output = c.output[0] == '/' ? c.output : m_folder / c.output;
    ExpectOneStatusCall(Mix(m_folder / c.main, m_folder / c.background, output), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WaveMixFailure,
    ::testing::Values(
        FailureCase{"main_missing", "none.wav", "good.wav", "out.wav", 3200},
        FailureCase{"main_short", "short.wav", "good.wav", "out.wav", 3201},
        FailureCase{"main_mono", "mono.wav", "good.wav", "out.wav", 3202},
        FailureCase{"background_missing", "good.wav", "none.wav", "out.wav", 3203},
        FailureCase{"background_short", "good.wav", "short.wav", "out.wav", 3201},
        FailureCase{"background_mono", "good.wav", "mono.wav", "out.wav", 3202},
        FailureCase{"background_48000", "good.wav", "rate_48000.wav", "out.wav", 3202},
        FailureCase{"output_folder_missing", "good.wav", "good.wav", "none/out.wav", 3204},
        FailureCase{"output_cannot_be_written", "good.wav", "good.wav", "/dev/full", 3206}),
    [](const ::testing::TestParamInfo<FailureCase>& param_info) { return param_info.param.name; });

TEST_F(WaveMixTest, NullFileNamesNameNoFile) {
    const std::string good = Write("good.wav", Constant(10, 1));
    ExpectOneStatusCall(
        RunWorker(m_shell, "EX_WaveMix", {nullptr, ToUtf16(good), ToUtf16(Output())}), 3200);
    ExpectOneStatusCall(
        RunWorker(m_shell, "EX_WaveMix", {ToUtf16(good), nullptr, ToUtf16(Output())}), 3203);
    ExpectOneStatusCall(RunWorker(m_shell, "EX_WaveMix", {ToUtf16(good), ToUtf16(good), nullptr}),
                        3204);
}

// The main sound arrives through a pipe a block at a time, so the test
// decides when a report is due and when the stop comes.
TEST_F(WaveMixTest, ReportsBytesWrittenAndStopsWhenAsked) {
    const std::string pipe = m_folder / "main.pipe";
    FifoFeeder feeder(pipe);
    const auto header = MakeWaveHeader(10 * 2048, kWaveRateHz, kWaveChannels);
    std::vector<std::uint8_t> first(header.begin(), header.end());
    const std::vector<std::uint8_t> block = WaveBytes(Constant(kBlockSamples, 0));
    for (int i = 0; i < 2; ++i) first.insert(first.end(), block.begin(), block.end());
    feeder.Feed(first);
    const DWORD thread =
        StartWorker(m_shell, "EX_WaveMix",
                    {ToUtf16(pipe), ToUtf16(Write("bg.wav", Constant(8 * kBlockSamples, 50))),
                     ToUtf16(Output()), LONG{1000}});
    ASSERT_NE(thread, 0u);
    // Nothing is reported while the worker waits for the next block.
    m_shell.PumpFor(1200);
    EXPECT_TRUE(m_shell.ReportsOf(thread).empty());
    feeder.Feed(block);
    ASSERT_TRUE(m_shell.PumpUntil([&] { return !m_shell.ReportsOf(thread).empty(); }, 5000));
    EXPECT_EQ(Numbers(m_shell.ReportsOf(thread)[0]),
              (std::vector<LONGLONG>{kWorking, 3 * 2048, 10 * 2048}));

    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    feeder.Feed(block);
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread));
    const std::vector<Report> reports = m_shell.ReportsOf(thread);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(reports[1]), std::vector<LONGLONG>{3300});
    // A stopped mix leaves no output, and nothing half written.
    EXPECT_FALSE(std::filesystem::exists(Output()));
    EXPECT_TRUE(m_folder.StagedFiles().empty());
}

}  // namespace
}  // namespace nb::external::audio::testing
