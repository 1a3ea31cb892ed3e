// EX_BuildWaveforms through the real module: the PNGs it writes are read
// back with libpng and compared pixel by pixel with pictures worked out
// independently from the same samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <ostream>

#include "external/audio/tests/audio_test_support.h"
#include "external/audio/tests/png_pixels.h"
#include "external/audio/tests/waveform_reference.h"
#include "external/audio/waveform_job.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::audio::testing {
namespace {

using nb::external::testing::CallOutcome;
using nb::external::testing::Report;
using nb::external::testing::ReportKind;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;
using nb::external::testing::TestArray;
using nb::external::testing::TestValue;

constexpr LONG kReading = 3301;
constexpr LONG kWriting = 3302;
constexpr LONG kFinished = 3303;
constexpr std::size_t kFramesPerSecond = 44100;

// Four seconds of stereo in quarter-second sections, each of its own kind
// and loudness, so that the columns take every band of the shaping: tones,
// noise, silence, a constant offset (a column without spread) and noise
// swelling through a section, for values between the steps.
Samples KnownSound() {
    struct Section {
        char kind;  // t tone, n noise, s silence, c constant, r rising noise
        double amplitude;
    };
    constexpr Section kSections[] = {{'t', 0.05}, {'t', 0.3}, {'n', 0.6},  {'t', 0.9},
                                     {'s', 0.0},  {'n', 0.1}, {'c', 0.4},  {'t', 0.7},
                                     {'n', 0.95}, {'t', 0.2}, {'n', 0.35}, {'t', 0.5},
                                     {'r', 0.3},  {'r', 0.6}, {'r', 1.0},  {'r', 0.8}};
    const std::size_t section_frames = kFramesPerSecond / 4;
    Samples samples;
    std::uint32_t noise = 12345;
    for (std::size_t frame = 0; frame < std::size(kSections) * section_frames; ++frame) {
        const Section& section = kSections[frame / section_frames];
        for (int channel = 0; channel < 2; ++channel) {
            noise = noise * 1664525u + 1013904223u;
            double value = 0;
            switch (section.kind) {
                case 't':
                    value = std::sin(2 * std::numbers::pi * (440.0 + 220 * channel) *
                                     static_cast<double>(frame) / kFramesPerSecond);
                    break;
                case 'n':
                    value = static_cast<double>(noise >> 16) / 32768.0 - 1.0;
                    break;
                case 'c':
                    value = 1.0;
                    break;
                case 'r':
                    value = (static_cast<double>(noise >> 16) / 32768.0 - 1.0) *
                            static_cast<double>(frame % section_frames) / section_frames;
                    break;
                default:
                    break;
            }
            samples.push_back(
                static_cast<std::int16_t>(std::lround(value * section.amplitude * 32767)));
        }
    }
    return samples;
}

std::uint32_t BytesOf(const Samples& samples) {
    return static_cast<std::uint32_t>(samples.size() * sizeof(std::int16_t));
}

std::size_t FileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::size_t>(size);
}

class BuildWaveformsTest : public ::testing::Test {
   protected:
    std::string Target(int level) const { return Target(m_folder.path(), level); }
    static std::string Target(const std::string& folder, int level) {
        return folder + "/level" + std::to_string(level) + ".png";
    }
    TestArray Targets(int count) const { return Targets(m_folder.path(), count); }
    static TestArray Targets(const std::string& folder, int count) {
        TestArray targets;
        for (int level = 0; level < count; ++level)
            targets.elements.push_back(ToUtf16(Target(folder, level)));
        return targets;
    }
    std::string Input(const Samples& samples, long data_bytes = -1) {
        WriteWave(m_folder / "input.wav", samples, data_bytes);
        return m_folder / "input.wav";
    }
    WorkerRun Build(const std::string& input, const TestArray& targets) {
        return RunWorker(m_shell, "EX_BuildWaveforms", {ToUtf16(input), targets});
    }

    // The level's PNG is a 2-bit palette picture of the level's size whose
    // pixels are exactly the reference's.
    void ExpectPicture(int level, const ReferencePicture& expected) const {
        SCOPED_TRACE("level " + std::to_string(level));
        const std::optional<PngPixels> png = ReadPngFile(Target(level));
        ASSERT_TRUE(png);
        EXPECT_EQ(png->bit_depth, 2);
        EXPECT_EQ(png->colour_type, 3);  // palette
        EXPECT_EQ(png->interlace, 0);
        const std::vector<std::array<std::uint8_t, 3>> palette = {
            {0, 0, 0}, {255, 227, 40}, {80, 80, 80}, {0, 0, 255}};
        EXPECT_EQ(png->palette, palette);
        ASSERT_EQ(png->width, static_cast<std::uint32_t>(expected.width));
        ASSERT_EQ(png->height, static_cast<std::uint32_t>(expected.height));
        for (int row = 0; row < expected.height; ++row) {
            const std::vector<std::uint8_t> got(png->rows[row].begin(),
                                                png->rows[row].begin() + expected.width);
            ASSERT_EQ(got, expected.rows[row]) << "row " << row;
        }
    }

    // The reports of a run that wrote count pictures: reading progress when
    // due, one report per picture, the final callback.
    static void ExpectFinished(const WorkerRun& run, LONG count) {
        EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
        std::vector<Report> after_reading;
        for (const Report& report : run.reports) {
            EXPECT_EQ(report.arguments.size(), 4u);
            if (Numbers(report)[0] != kReading) after_reading.push_back(report);
        }
        ASSERT_EQ(after_reading.size(), static_cast<std::size_t>(count) + 1);
        for (LONG level = 0; level < count; ++level) {
            const std::vector<LONGLONG> numbers = Numbers(after_reading[level]);
            EXPECT_EQ(after_reading[level].kind, ReportKind::Callback);
            EXPECT_EQ(std::vector<LONGLONG>(numbers.begin(), numbers.begin() + 3),
                      (std::vector<LONGLONG>{kWriting, level + 1, count}));
        }
        const std::vector<LONGLONG> last = Numbers(after_reading.back());
        EXPECT_EQ(std::vector<LONGLONG>(last.begin(), last.begin() + 3),
                  (std::vector<LONGLONG>{kFinished, count, count}));
        EXPECT_GE(last[3], 0);
    }

    static void ExpectStatusCall(const WorkerRun& run, LONG status) {
        ASSERT_FALSE(run.reports.empty());
        EXPECT_EQ(run.reports.back().kind, ReportKind::Notify);
        EXPECT_EQ(Numbers(run.reports.back()), std::vector<LONGLONG>{status});
        EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
    }

    ShellDouble m_shell;
    TemporaryFolder m_folder;
};

// All ten levels of a sound longer than a read block, pixel for pixel.
TEST_F(BuildWaveformsTest, DrawsEveryLevelExactlyByTheRules) {
    const Samples sound = KnownSound();
    const WorkerRun run = Build(Input(sound), Targets(10));
    ExpectFinished(run, 10);
    for (int level = 0; level < 10; ++level)
        ExpectPicture(level, ReferenceWaveform(sound, BytesOf(sound), level));
}

TEST_F(BuildWaveformsTest, LevelsHaveTheirSizes) {
    const WorkerRun run = Build(Input(KnownSound()), Targets(10));
    ExpectFinished(run, 10);
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {
        {680, 24},   {680, 80},   {1360, 80},  {2720, 80},  {5440, 80},
        {10880, 80}, {21760, 80}, {43520, 80}, {87040, 80}, {174080, 80}};
    for (int level = 0; level < 10; ++level) {
        const std::optional<PngPixels> png = ReadPngFile(Target(level));
        ASSERT_TRUE(png);
        EXPECT_EQ(std::make_pair(png->width, png->height), sizes[level]) << "level " << level;
    }
}

TEST_F(BuildWaveformsTest, SilenceShowsTheCentreRowAndTheGrid) {
    const WorkerRun run = Build(Input(Samples(2 * kFramesPerSecond, 0)), Targets(3));
    ExpectFinished(run, 3);
    for (int level = 0; level < 3; ++level) ExpectPicture(level, EmptyWaveform(level));
}

// 1000 samples: level 0 has two of them a column, so its last 180 columns
// see no sound; wider levels have one a column, which has no spread.
TEST_F(BuildWaveformsTest, ColumnsNoSoundReachedStayEmpty) {
    Samples sound = KnownSound();
    sound.erase(sound.begin(), sound.begin() + 2 * kFramesPerSecond / 2);  // the noise
    sound.resize(1000);
    const WorkerRun run = Build(Input(sound), Targets(3));
    ExpectFinished(run, 3);
    for (int level = 0; level < 3; ++level)
        ExpectPicture(level, ReferenceWaveform(sound, BytesOf(sound), level));
    const std::optional<PngPixels> png = ReadPngFile(Target(0));
    ASSERT_TRUE(png);
    const ReferencePicture empty = EmptyWaveform(0);
    bool lit_within_sound = false;
    for (int row = 0; row < 24; ++row) {
        for (int x = 500; x < 680; ++x) EXPECT_EQ(png->rows[row][x], empty.rows[row][x]);
        for (int x = 0; x < 500; ++x) lit_within_sound |= row != 12 && png->rows[row][x] == 1;
    }
    EXPECT_TRUE(lit_within_sound);
}

// The header's length is the sound: bytes after it are not drawn, and a
// file that ends before it ends the sound there.
TEST_F(BuildWaveformsTest, TheAnnouncedLengthIsTheSound) {
    const Samples sound = KnownSound();
    const std::uint32_t shorter = BytesOf(sound) / 3 + 1;  // odd: half a sample left out
    ExpectFinished(Build(Input(sound, shorter), Targets(3)), 3);
    for (int level = 0; level < 3; ++level)
        ExpectPicture(level, ReferenceWaveform(sound, shorter, level));
    const std::uint32_t longer = BytesOf(sound) * 2;
    ExpectFinished(Build(Input(sound, longer), Targets(3)), 3);
    for (int level = 0; level < 3; ++level)
        ExpectPicture(level, ReferenceWaveform(sound, longer, level));
}

TEST_F(BuildWaveformsTest, TwelveTargetsGiveTenPictures) {
    const WorkerRun run = Build(Input(KnownSound()), Targets(12));
    ExpectFinished(run, 10);
    for (int level = 0; level < 10; ++level) EXPECT_TRUE(ReadPngFile(Target(level))) << level;
    EXPECT_FALSE(std::filesystem::exists(Target(10)));
    EXPECT_FALSE(std::filesystem::exists(Target(11)));
}

// Elements that name no file fail at their turn; the pictures before stay.
TEST_F(BuildWaveformsTest, AnElementNamingNoFileFailsAfterTheEarlierPictures) {
    const std::string input = Input(KnownSound());
    const TestValue not_files[] = {LONG{3},
                                   nullptr,
                                   std::u16string(),
                                   ToUtf16(m_folder / "none/x.png"),
                                   ToUtf16(m_folder.path()),
                                   ToUtf16(input)};
    for (const TestValue& element : not_files) {
        TestArray targets = Targets(5);
        targets.elements[3] = element;
        const WorkerRun run = Build(input, targets);
        ExpectStatusCall(run, 3203);
        ASSERT_EQ(
            run.reports.size() - 1,
            3u + std::count_if(run.reports.begin(), run.reports.end(), [](const Report& report) {
                return Numbers(report)[0] == kReading;
            }));
        for (int level = 0; level < 3; ++level) {
            EXPECT_TRUE(ReadPngFile(Target(level))) << level;
            std::filesystem::remove(Target(level));
        }
        EXPECT_FALSE(std::filesystem::exists(Target(4)));
    }
    // The sound named as a target is still the sound.
    EXPECT_EQ(ReadWave(input).samples, KnownSound());
    EXPECT_TRUE(m_folder.StagedFiles().empty());
}

struct InputCase {
    const char* name;
    std::vector<std::uint8_t> bytes;  // the input file; empty: none at all
    LONG status;
};
void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

// A wave of two silent frames in this format, or only its first bytes.
std::vector<std::uint8_t> Header(DWORD rate_hz, WORD channels, std::size_t keep = 52) {
    const auto header = MakeWaveHeader(8, rate_hz, channels);
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.resize(keep, 0);
    return bytes;
}

class BadInput : public BuildWaveformsTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(BadInput, IsOneStatusCallAndNoPicture) {
    std::string input = m_folder / "missing.wav";
    if (!GetParam().bytes.empty()) {
        input = m_folder / "input.wav";
        std::ofstream(input, std::ios::binary)
            .write(reinterpret_cast<const char*>(GetParam().bytes.data()),
                   static_cast<std::streamsize>(GetParam().bytes.size()));
    }
    const WorkerRun run = Build(input, Targets(2));
    ASSERT_EQ(run.reports.size(), 1u);
    ExpectStatusCall(run, GetParam().status);
    EXPECT_FALSE(std::filesystem::exists(Target(0)));
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadInput,
    ::testing::Values(InputCase{"missing", {}, 3200},
                      InputCase{"short_header", std::vector<std::uint8_t>(43, 'R'), 3201},
                      InputCase{"header_cut_at_43", Header(44100, 2, 43), 3201},
                      InputCase{"mono", Header(44100, 1), 3202},
                      InputCase{"rate_48000", Header(48000, 2), 3202},
                      InputCase{"not_a_wave", std::vector<std::uint8_t>(100, 'x'), 3202}),
    [](const ::testing::TestParamInfo<InputCase>& param_info) { return param_info.param.name; });

TEST_F(BuildWaveformsTest, AFolderIsNoInput) {
    const WorkerRun run = Build(m_folder.path(), Targets(1));
    ASSERT_EQ(run.reports.size(), 1u);
    ExpectStatusCall(run, 3200);
}

struct ArgumentCase {
    const char* name;
    std::vector<TestValue> arguments;
    WORD code;
    const char16_t* description;
};
void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

class Arguments : public BuildWaveformsTest, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(Arguments, AreRefusedBeforeAnyThreadStarts) {
    const CallOutcome outcome = m_shell.Call(nb::external::testing::LoadExport("EX_BuildWaveforms"),
                                             GetParam().arguments, u"onWaveforms");
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, GetParam().code);
    EXPECT_EQ(outcome.scode, -static_cast<SCODE>(GetParam().code));
    EXPECT_EQ(outcome.source, u"External::BuildWaveforms");
    EXPECT_EQ(outcome.description, GetParam().description);
    EXPECT_EQ(m_shell.registrations(), 0);
}

const std::u16string kWave = u"/tmp/nb-waveform-argument-check.wav";
const TestArray kOneTarget{{std::u16string(u"/tmp/nb-waveform-argument-check.png")}};
constexpr const char16_t* kCount = u"Catastrophic: Bad parameters count";
constexpr const char16_t* kKind = u"Catastrophic: Type mismatch";

INSTANTIATE_TEST_SUITE_P(
    Checks, Arguments,
    ::testing::Values(
        ArgumentCase{"none", {}, 2100, kCount}, ArgumentCase{"one", {kWave}, 2100, kCount},
        ArgumentCase{"four", {kWave, kOneTarget, LONG{200}, LONG{1}}, 2100, kCount},
        ArgumentCase{"input_integer", {LONG{1}, kOneTarget}, 2101, kKind},
        ArgumentCase{"input_empty", {std::monostate{}, kOneTarget}, 2101, kKind},
        ArgumentCase{"targets_text", {kWave, kWave}, 2101, kKind},
        ArgumentCase{"targets_null", {kWave, nullptr}, 2101, kKind},
        ArgumentCase{"interval_text", {kWave, kOneTarget, kWave}, 2101, kKind},
        ArgumentCase{"interval_boolean", {kWave, kOneTarget, true}, 2101, kKind},
        // Kinds are checked before the array is looked at.
        ArgumentCase{"empty_array_bad_interval", {kWave, TestArray{}, true}, 2101, kKind},
        ArgumentCase{
            "empty_array", {kWave, TestArray{}}, 3100, u"Catastrophic: Empty target array"},
        ArgumentCase{"empty_array_null_input",
                     {nullptr, TestArray{}, LONG{100}},
                     3100,
                     u"Catastrophic: Empty target array"}),
    [](const ::testing::TestParamInfo<ArgumentCase>& param_info) { return param_info.param.name; });

// An object without a readable length: a dispatch argument with no object.
TEST_F(BuildWaveformsTest, ATargetArrayWithoutLengthIsInvalid) {
    VARIANT arguments[2];  // in natural order, as the shell hands them over
    VariantInit(&arguments[0]);
    arguments[0].vt = VT_NULL;
    VariantInit(&arguments[1]);
    arguments[1].vt = VT_DISPATCH;
    arguments[1].pdispVal = nullptr;
    DISPPARAMS params{arguments, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    const CallFrame frame = m_shell.MakeFrame(&params, u"onWaveforms", &result, &exception);
    const HRESULT hr = nb::external::testing::LoadExport("EX_BuildWaveforms")(
        frame.shell_window, frame.command_event, frame.command_target, frame.command_word,
        frame.workers, frame.args, frame.result, frame.callback_name, frame.browser,
        frame.exception, frame.argument_error, frame.system);
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_EQ(exception.wCode, 3100);
    EXPECT_EQ(exception.scode, -3100);
    EXPECT_EQ(std::u16string(exception.bstrDescription), u"Catastrophic: Invalid target array");
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(m_shell.registrations(), 0);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
}

// The sound arrives through a pipe a block at a time, so the test decides
// when a report is due and when the stop comes.
TEST_F(BuildWaveformsTest, ReportsReadingAndStopsWhenAsked) {
    const std::string pipe = m_folder / "input.pipe";
    FifoFeeder feeder(pipe);
    constexpr DWORD kAnnounced = 4 * kWaveformBlockBytes;
    const auto header = MakeWaveHeader(kAnnounced, kWaveRateHz, kWaveChannels);
    feeder.Feed({header.begin(), header.end()});
    const DWORD thread =
        StartWorker(m_shell, "EX_BuildWaveforms", {ToUtf16(pipe), Targets(2), LONG{100}});
    ASSERT_NE(thread, 0u);
    // Nothing is reported while the worker waits for the first block.
    m_shell.PumpFor(300);
    EXPECT_TRUE(m_shell.ReportsOf(thread).empty());
    feeder.Feed(WaveBytes(Samples(kWaveformBlockBytes / 2, 1000)));
    ASSERT_TRUE(m_shell.PumpUntil([&] { return !m_shell.ReportsOf(thread).empty(); }, 5000));
    const std::vector<LONGLONG> progress = Numbers(m_shell.ReportsOf(thread)[0]);
    EXPECT_EQ(std::vector<LONGLONG>(progress.begin(), progress.begin() + 3),
              (std::vector<LONGLONG>{kReading, kWaveformBlockBytes, kAnnounced}));
    EXPECT_GE(progress[3], 300);

    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread));
    const std::vector<Report> reports = m_shell.ReportsOf(thread);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(reports[1]), std::vector<LONGLONG>{3300});
    EXPECT_FALSE(std::filesystem::exists(Target(0)));
    EXPECT_TRUE(m_folder.StagedFiles().empty());
}

// A picture the disk cannot hold is not left half written: the earlier
// ones are in place, the failed one is not there at all.
TEST_F(BuildWaveformsTest, APictureThatCannotBeWrittenLeavesNoHalfFile) {
    constexpr std::size_t kPage = 4096;
    const std::string input = Input(KnownSound());
    ExpectFinished(Build(input, Targets(10)), 10);
    // The disk holds the pictures before the first one of more than a page,
    // and one page more.
    std::size_t pages = 0;
    int failing = 1;
    for (; failing < 10 && FileSize(Target(failing)) <= kPage; ++failing)
        pages += (FileSize(Target(failing)) + kPage - 1) / kPage;
    ASSERT_LT(failing, 10);
    pages += (FileSize(Target(0)) + kPage - 1) / kPage + 1;
    const std::string disk_path = m_folder / "disk";
    SmallDisk disk(disk_path, pages * kPage);
    if (!disk.mounted()) GTEST_SKIP() << "mounting a small file system needs root";

    const WorkerRun run = Build(input, Targets(disk_path, failing + 1));
    ExpectStatusCall(run, 3204);
    std::vector<std::string> expected;
    for (int level = 0; level < failing; ++level) {
        EXPECT_TRUE(ReadPngFile(Target(disk_path, level))) << level;
        expected.push_back("level" + std::to_string(level) + ".png");
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(disk_path))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, expected);
}

}  // namespace
}  // namespace nb::external::audio::testing
