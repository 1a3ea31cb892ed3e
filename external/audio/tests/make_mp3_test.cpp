// EX_MakeMP3 through the built extension module and the real
// internals/lame_enc.so, with the shell played by the double; the results
// checked with ffmpeg, ffprobe and mediainfo.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "external/audio/lame_enc/tests/mp3_media.h"
#include "external/frame/tests/shell_double.h"
#include "external/frame/tests/test_environment.h"
#include "platform/kernel/unique_fd.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

using audio_testing::MakeSineWave;
using audio_testing::MediaInfo;
using audio_testing::Probe;

constexpr LONG kLibraryNotLoaded = 3200;
constexpr LONG kCallMissing = 3201;
constexpr LONG kInputNotOpened = 3202;
constexpr LONG kOutputNotCreated = 3203;
constexpr LONG kInitFailed = 3204;
constexpr LONG kSeekFailed = 3206;
constexpr LONG kReadFailed = 3207;
constexpr LONG kEncodeFailed = 3208;
constexpr LONG kWriteFailed = 3209;
constexpr LONG kFlushFailed = 3210;
constexpr LONG kStopped = 3300;
constexpr LONG kWorking = 3301;
constexpr LONG kFinished = 3302;

constexpr double kSineSeconds = 5;
constexpr double kSineHz = 1000;
constexpr double kSineAmplitude = 0.5;  // -9.03 dBFS root mean square

// Wave files made on first use and kept until the program ends; each
// test runs in a process of its own, so only what it uses is made.
const TemporaryFolder& MediaFolder() {
    static const TemporaryFolder folder;
    return folder;
}
std::string MadeSine(const std::string& name, double seconds) {
    const std::string path = MediaFolder() / name;
    EXPECT_TRUE(MakeSineWave(path, seconds, kSineHz, kSineAmplitude)) << path;
    return path;
}
const std::string& SineWave() {
    static const std::string path = MadeSine("sine.wav", kSineSeconds);
    return path;
}
// Long enough that a stop arrives well before the end.
const std::string& LongSineWave() {
    static const std::string path = MadeSine("long.wav", 120);
    return path;
}

LONG FileBytes(const std::string& path) {
    return static_cast<LONG>(std::filesystem::file_size(path));
}

class MakeMp3Test : public ::testing::Test {
   protected:
    // Starts the worker; its thread id, or 0 when the export refused.
    DWORD Start(ExFunction make_mp3, std::initializer_list<TestValue> arguments) {
        const CallOutcome outcome = m_shell.Call(make_mp3, arguments, u"onMp3");
        EXPECT_EQ(outcome.hr, S_OK) << ToUtf8(outcome.description);
        return outcome.hr == S_OK ? static_cast<DWORD>(outcome.result.number) : 0;
    }
    std::vector<Report> RunToEnd(ExFunction make_mp3, std::initializer_list<TestValue> arguments) {
        const DWORD thread = Start(make_mp3, arguments);
        if (!thread || !m_shell.WaitUntilFinished(thread, 60000)) {
            ADD_FAILURE() << "the worker did not finish";
            return {};
        }
        EXPECT_EQ(m_shell.ExitCodeOf(thread), NB_WORKER_EXIT_NORMAL);
        return m_shell.ReportsOf(thread);
    }
    static void ExpectStatusCall(const std::vector<Report>& reports, LONG status) {
        ASSERT_FALSE(reports.empty());
        const Report& last = reports.back();
        EXPECT_EQ(last.kind, ReportKind::Notify);
        ASSERT_EQ(last.arguments.size(), 1u);
        EXPECT_EQ(last.arguments[0].number, status);
    }
    // The final callback: (3302, total, total), after progress reports only.
    static void ExpectFinished(const std::vector<Report>& reports, LONG total) {
        ASSERT_FALSE(reports.empty());
        for (const Report& report : reports) {
            EXPECT_EQ(report.kind, ReportKind::Callback);
            ASSERT_EQ(report.arguments.size(), 3u);
            EXPECT_EQ(report.arguments[2].number, total);
        }
        for (std::size_t index = 0; index + 1 < reports.size(); ++index)
            EXPECT_EQ(reports[index].arguments[0].number, kWorking);
        EXPECT_EQ(reports.back().arguments[0].number, kFinished);
        EXPECT_EQ(reports.back().arguments[1].number, total);
    }

    static ExFunction MakeMp3() { return LoadExport("EX_MakeMP3"); }

    // EX_MakeMP3 of a copy of the module in an application directory of its
    // own, whose internals folder holds the given library as lame_enc.so (or
    // none). The copy stays loaded: its worker threads run its code to their
    // last instruction.
    ExFunction MakeMp3InApplication(const std::string& library) {
        const std::filesystem::path internals = m_folder / "app/internals";
        std::filesystem::create_directories(internals);
        std::filesystem::copy_file(std::string(NB_TEST_APP_DIR) + "/internals/NbExternal.so",
                                   internals / "NbExternal.so");
        if (!library.empty()) std::filesystem::copy_file(library, internals / "lame_enc.so");
        void* module = dlopen((internals / "NbExternal.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(module, nullptr) << dlerror();
        return reinterpret_cast<ExFunction>(module ? dlsym(module, "EX_MakeMP3") : nullptr);
    }

    ShellDouble m_shell;
    TemporaryFolder m_folder;
};

TEST_F(MakeMp3Test, TheSineComesBackWithItsFrequencyAndLevel) {
    const std::string output = m_folder / "sine.mp3";
    const std::vector<Report> reports =
        RunToEnd(MakeMp3(), {ToUtf16(SineWave()), ToUtf16(output), LONG{128}});
    ExpectFinished(reports, FileBytes(SineWave()) - 44);
    const std::vector<std::int16_t> decoded = audio_testing::DecodeToStereo(output);
    // The encoder's delay and padding come off when the tag says how long
    // the sound is.
    EXPECT_NEAR(static_cast<double>(decoded.size()) / 2 / 44100, kSineSeconds, 0.03);
    for (int channel : {0, 1}) {
        const audio_testing::ToneMeasure tone = audio_testing::MeasureTone(decoded, channel);
        EXPECT_NEAR(tone.frequency_hz, kSineHz, 1.0) << channel;
        EXPECT_NEAR(tone.level_dbfs, -9.03, 0.5) << channel;
    }
}

struct BitRateCase {
    LONG requested_kbps;
    int lowest_kbps;  // the lowest rate an MPEG-1 stream has at or above the minimum
};

void PrintTo(const BitRateCase& c, std::ostream* os) { *os << c.requested_kbps << " kbit/s"; }

class MakeMp3BitRate : public MakeMp3Test, public ::testing::WithParamInterface<BitRateCase> {};

TEST_P(MakeMp3BitRate, GivesAVariableRateJointStereoFileWithAnInfoTag) {
    const std::string output = m_folder / "rate.mp3";
    const LONG requested = GetParam().requested_kbps;
    ExpectFinished(RunToEnd(MakeMp3(), {ToUtf16(SineWave()), ToUtf16(output), requested}),
                   FileBytes(SineWave()) - 44);
    std::map<std::string, std::string> probe = Probe(output);
    EXPECT_EQ(probe["stream.codec_name"], "mp3");
    EXPECT_EQ(probe["stream.sample_rate"], "44100");
    EXPECT_EQ(probe["stream.channel_layout"], "stereo");
    // Without the tag the length would be guessed from the first frame's rate.
    EXPECT_NEAR(std::stod(probe["format.duration"]), kSineSeconds, 0.06);
    const double bit_rate = std::stod(probe["format.bit_rate"]);
    EXPECT_GE(bit_rate, GetParam().lowest_kbps * 1000.0 * 0.98);
    EXPECT_LE(bit_rate, requested * 1000.0 * 1.02);
    // mediainfo reads the tag: the rate mode and the settings behind it.
    EXPECT_EQ(MediaInfo(output, "Audio;%BitRate_Mode%|%Format_Settings_Mode%|%Encoded_Library%"),
              "VBR|Joint stereo|LAME3.100");
    const std::string settings = MediaInfo(output, "Audio;%Encoded_Library_Settings%");
    EXPECT_NE(settings.find("-m j"), std::string::npos) << settings;
    EXPECT_NE(settings.find("-V 0"), std::string::npos) << settings;
    EXPECT_NE(settings.find("-b " + std::to_string(GetParam().lowest_kbps)), std::string::npos)
        << settings;
}

INSTANTIATE_TEST_SUITE_P(Rates, MakeMp3BitRate,
                         ::testing::Values(BitRateCase{32, 32}, BitRateCase{64, 32},
                                           BitRateCase{96, 64}, BitRateCase{128, 96},
                                           BitRateCase{192, 128}, BitRateCase{256, 192}),
                         [](const ::testing::TestParamInfo<BitRateCase>& rate) {
                             return std::to_string(rate.param.requested_kbps) + "kbps";
                         });

struct ArgumentCase {
    const char* name;
    std::vector<TestValue> arguments;
    WORD code;
    const char16_t* description;
};
void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

class MakeMp3Arguments : public MakeMp3Test, public ::testing::WithParamInterface<ArgumentCase> {};

CallOutcome CallWith(ShellDouble& shell, const std::vector<TestValue>& values) {
    // The double takes an initializer list; the cases have at most five values.
    const auto at = [&](std::size_t index) { return values[index]; };
    switch (values.size()) {
        case 2:
            return shell.Call(LoadExport("EX_MakeMP3"), {at(0), at(1)}, u"onMp3");
        case 3:
            return shell.Call(LoadExport("EX_MakeMP3"), {at(0), at(1), at(2)}, u"onMp3");
        case 4:
            return shell.Call(LoadExport("EX_MakeMP3"), {at(0), at(1), at(2), at(3)}, u"onMp3");
        default:
            return shell.Call(LoadExport("EX_MakeMP3"), {at(0), at(1), at(2), at(3), at(4)},
                              u"onMp3");
    }
}

TEST_P(MakeMp3Arguments, AreRefusedBeforeAnyThreadStarts) {
    const CallOutcome outcome = CallWith(m_shell, GetParam().arguments);
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, GetParam().code);
    EXPECT_EQ(outcome.scode, -static_cast<SCODE>(GetParam().code));
    EXPECT_EQ(outcome.source, u"External::MakeMP3");
    EXPECT_EQ(outcome.description, GetParam().description);
    EXPECT_EQ(m_shell.registrations(), 0);
}

constexpr const char16_t* kCount = u"Catastrophic: Bad parameters count";
constexpr const char16_t* kType = u"Catastrophic: Type mismatch";
constexpr const char16_t* kRate =
    u"Catastrophic: Bitrate must be set to 32, 64, 96, 128, 192 or 256 (kbps)";

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeMp3Arguments,
    ::testing::Values(
        ArgumentCase{"TwoArguments", {u"in.wav", u"out.mp3"}, 2100, kCount},
        ArgumentCase{
            "FiveArguments", {u"in.wav", u"out.mp3", LONG{128}, LONG{200}, LONG{1}}, 2100, kCount},
        ArgumentCase{"InputNotText", {LONG{1}, u"out.mp3", LONG{128}}, 2101, kType},
        ArgumentCase{"OutputEmpty", {u"in.wav", std::monostate{}, LONG{128}}, 2101, kType},
        ArgumentCase{"RateAsText", {u"in.wav", u"out.mp3", u"128"}, 2101, kType},
        ArgumentCase{"RateAsBoolean", {u"in.wav", u"out.mp3", true}, 2101, kType},
        ArgumentCase{"IntervalAsText", {u"in.wav", u"out.mp3", LONG{128}, u"200"}, 2101, kType},
        // The kinds are checked before the rate's value.
        ArgumentCase{"KindBeforeValue", {u"in.wav", u"out.mp3", LONG{160}, u"200"}, 2101, kType},
        ArgumentCase{"Rate160", {u"in.wav", u"out.mp3", LONG{160}}, 2104, kRate},
        ArgumentCase{"Rate0", {u"in.wav", u"out.mp3", LONG{0}}, 2104, kRate},
        ArgumentCase{"RateNegative", {u"in.wav", u"out.mp3", LONG{-128}}, 2104, kRate}));

// A file argument of a case: null, the test's usual file, a name in the
// test's folder, or an absolute path.
struct FileArgument {
    enum Kind { Null, Usual, InFolder, Absolute } kind;
    const char* path = "";
};
constexpr FileArgument kNull{FileArgument::Null};
constexpr FileArgument kUsual{FileArgument::Usual};

struct StatusCase {
    const char* name;
    FileArgument input;
    FileArgument output;
    LONG status;
};
void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class MakeMp3Status : public MakeMp3Test, public ::testing::WithParamInterface<StatusCase> {
   protected:
    TestValue Resolve(const FileArgument& file, const std::string& usual) const {
        switch (file.kind) {
            case FileArgument::Null:
                return nullptr;
            case FileArgument::Usual:
                return ToUtf16(usual);
            case FileArgument::InFolder:
                return ToUtf16(m_folder / file.path);
            case FileArgument::Absolute:
                break;
        }
        return ToUtf16(file.path);
    }
};

TEST_P(MakeMp3Status, IsOneStatusCall) {
    const TestValue input = Resolve(GetParam().input, SineWave());
    const TestValue output = Resolve(GetParam().output, m_folder / "out.mp3");
    const std::vector<Report> reports = RunToEnd(MakeMp3(), {input, output, LONG{128}});
    ASSERT_EQ(reports.size(), 1u);
    ExpectStatusCall(reports, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, MakeMp3Status,
    ::testing::Values(
        StatusCase{
            "InputMissing", {FileArgument::InFolder, "missing.wav"}, kUsual, kInputNotOpened},
        StatusCase{"InputNull", kNull, kUsual, kInputNotOpened},
        StatusCase{"OutputInMissingFolder",
                   kUsual,
                   {FileArgument::InFolder, "no/such/out.mp3"},
                   kOutputNotCreated},
        StatusCase{"OutputNull", kUsual, kNull, kOutputNotCreated},
        // A process's memory file opens and seeks, but nothing is mapped at
        // its first addresses: reading there fails.
        StatusCase{
            "InputCannotBeRead", {FileArgument::Absolute, "/proc/self/mem"}, kUsual, kReadFailed},
        StatusCase{
            "OutputDeviceFull", kUsual, {FileArgument::Absolute, "/dev/full"}, kWriteFailed}));

// The encoder needs the input's size and a position to seek to, so a pipe
// is refused as an input that cannot be opened.
TEST_F(MakeMp3Test, AnInputWithoutPositionsIsAStatusCall) {
    const std::string pipe = m_folder / "pipe.wav";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const UniqueFd writer(open(pipe.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(writer.IsOpen());
    const std::vector<Report> reports =
        RunToEnd(MakeMp3(), {ToUtf16(pipe), ToUtf16(m_folder / "out.mp3"), LONG{128}});
    ASSERT_EQ(reports.size(), 1u);
    ExpectStatusCall(reports, kInputNotOpened);
}

struct LibraryCase {
    const char* name;
    const char* variant;  // folder under the variants' folder, or "" for no library
    LONG status;
};
void PrintTo(const LibraryCase& c, std::ostream* os) { *os << c.name; }

class MakeMp3Library : public MakeMp3Test, public ::testing::WithParamInterface<LibraryCase> {};

TEST_P(MakeMp3Library, ProblemsAreOneStatusCall) {
    const std::string variant = *GetParam().variant ? std::string(NB_TEST_LAME_ENC_VARIANTS_DIR) +
                                                          "/" + GetParam().variant + "/lame_enc.so"
                                                    : std::string();
    const ExFunction make_mp3 = MakeMp3InApplication(variant);
    ASSERT_NE(make_mp3, nullptr);
    const std::string output = m_folder / "out.mp3";
    const std::vector<Report> reports =
        RunToEnd(make_mp3, {ToUtf16(SineWave()), ToUtf16(output), LONG{128}});
    ExpectStatusCall(reports, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, MakeMp3Library,
    ::testing::Values(LibraryCase{"Absent", "", kLibraryNotLoaded},
                      LibraryCase{"WithoutInitStream", "without_beInitStream", kCallMissing},
                      LibraryCase{"WithoutEncodeChunk", "without_beEncodeChunk", kCallMissing},
                      LibraryCase{"WithoutDeinitStream", "without_beDeinitStream", kCallMissing},
                      LibraryCase{"WithoutCloseStream", "without_beCloseStream", kCallMissing},
                      LibraryCase{"WithoutVersion", "without_beVersion", kCallMissing},
                      LibraryCase{"WithoutVbrHeader", "without_beWriteVBRHeader", kCallMissing},
                      LibraryCase{"InitFails", "failing_Init", kInitFailed},
                      LibraryCase{"EncodeFails", "failing_Encode", kEncodeFailed},
                      LibraryCase{"FlushFails", "failing_Deinit", kFlushFailed}));

TEST_F(MakeMp3Test, WithoutInfoTagCallTheTagComesThroughTheVbrHeaderCall) {
    const ExFunction make_mp3 = MakeMp3InApplication(std::string(NB_TEST_LAME_ENC_VARIANTS_DIR) +
                                                     "/without_beWriteInfoTag/lame_enc.so");
    ASSERT_NE(make_mp3, nullptr);
    const std::string output = m_folder / "out.mp3";
    ExpectFinished(RunToEnd(make_mp3, {ToUtf16(SineWave()), ToUtf16(output), LONG{128}}),
                   FileBytes(SineWave()) - 44);
    EXPECT_EQ(MediaInfo(output, "Audio;%BitRate_Mode%|%Encoded_Library%"), "VBR|LAME3.100");
    EXPECT_NEAR(std::stod(Probe(output)["format.duration"]), kSineSeconds, 0.06);
}

TEST_F(MakeMp3Test, AnyInputIsTakenAsSoundAfterItsFirst44Bytes) {
    const std::string tiny = m_folder / "tiny.wav";
    std::ofstream(tiny) << "ten bytes!";
    ExpectFinished(RunToEnd(MakeMp3(), {ToUtf16(tiny), ToUtf16(m_folder / "tiny.mp3"), LONG{64}}),
                   10 - 44);
    // An MP3 file given a wave file's name is encoded as noise.
    const std::string mp3_input = m_folder / "sine.mp3";
    ASSERT_EQ(std::system(("lame --quiet " + SineWave() + " " + mp3_input).c_str()), 0);
    ExpectFinished(
        RunToEnd(MakeMp3(), {ToUtf16(mp3_input), ToUtf16(m_folder / "noise.mp3"), LONG{64}}),
        FileBytes(mp3_input) - 44);
    EXPECT_EQ(Probe(m_folder / "noise.mp3")["stream.codec_name"], "mp3");
}

TEST_F(MakeMp3Test, AStopEndsTheWorkAndLeavesNoOutput) {
    const std::string output = m_folder / "long.mp3";
    const DWORD thread =
        Start(MakeMp3(), {ToUtf16(LongSineWave()), ToUtf16(output), LONG{128}, LONG{100}});
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(m_shell.PumpUntil([&] { return !m_shell.ReportsOf(thread).empty(); }, 20000));
    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 20000));
    const std::vector<Report> reports = m_shell.ReportsOf(thread);
    ExpectStatusCall(reports, kStopped);
    const LONG total = FileBytes(LongSineWave()) - 44;
    LONG previous = 0;
    for (std::size_t index = 0; index + 1 < reports.size(); ++index) {
        ASSERT_EQ(reports[index].arguments.size(), 3u);
        EXPECT_EQ(reports[index].arguments[0].number, kWorking);
        EXPECT_GT(reports[index].arguments[1].number, previous);
        EXPECT_EQ(reports[index].arguments[2].number, total);
        previous = static_cast<LONG>(reports[index].arguments[1].number);
    }
    EXPECT_LT(previous, total);
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_TRUE(m_folder.StagedFiles().empty());
}

}  // namespace
}  // namespace nb::external::testing
