// EX_MakeRingtone through the built module with the shell played by the
// double: wave cuts checked sample by sample against the volume and fade
// arithmetic, every report code, and the 3GP format read back by ffprobe,
// mediainfo, AtomicParsley and ffmpeg.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "external/audio/tests/audio_test_support.h"
#include "external/frame/tests/test_environment.h"
#include "platform/isomedia/tests/iso_file_reader.h"
#if NB_TEST_RINGTONE_HEAAC
#include "heaac/he2_encoder.h"
#endif
#include "platform/text/code_pages.h"

namespace nb::external::audio::testing {
namespace {

using nb::external::testing::CallOutcome;
using nb::external::testing::LoadExport;
using nb::external::testing::Report;
using nb::external::testing::ReportKind;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;
using nb::external::testing::TestValue;

constexpr LONG kThreeGp = 4010;
constexpr LONG kWave = 4011;
constexpr LONG kWorking = 3301;
constexpr LONG kFinished = 3303;
constexpr std::size_t kSourceSamples = 441000;  // five seconds

// Noise loud enough that doubling it saturates.
const Samples& Source() {
    static const Samples source = [] {
        std::mt19937 random(5);
        std::uniform_int_distribution<int> value(-24000, 24000);
        Samples samples(kSourceSamples);
        for (std::int16_t& sample : samples) sample = static_cast<std::int16_t>(value(random));
        return samples;
    }();
    return source;
}

struct Cut {
    std::uint64_t start = 0;
    std::uint64_t count = 0;
    DWORD volume = 100;
    std::uint64_t fade_in = 0;
    std::uint64_t fade_out = 0;
    std::int64_t fade_out_start = 0;
};

// The cut worked out sample by sample: volume, then fade-in, then fade-out,
// each product truncated; both samples of a frame share its position.
Samples Expected(const Samples& source, const Cut& cut) {
    Samples out;
    for (std::uint64_t k = 0; k < cut.count; ++k) {
        const std::uint64_t p = k & ~std::uint64_t{1};
        std::int16_t x = source[cut.start + k];
        if (cut.volume == 0) {
            out.push_back(0);
            continue;
        }
        if (cut.volume != 100) x = Truncated(x * (cut.volume / 100.0));
        if (p < cut.fade_in)
            x = Truncated(x * (static_cast<double>(p) / static_cast<double>(cut.fade_in)));
        const auto signed_p = static_cast<std::int64_t>(p);
        if (cut.fade_out && signed_p >= cut.fade_out_start)
            x = Truncated(x * (1.0 - static_cast<double>(signed_p - cut.fade_out_start) /
                                         static_cast<double>(cut.fade_out)));
        out.push_back(x);
    }
    return out;
}

class MakeRingtoneTest : public ::testing::Test {
   protected:
    std::string Input() {
        const std::string path = m_folder / "source.wav";
        if (!std::filesystem::exists(path)) WriteWave(path, Source());
        return path;
    }
    std::string Output(const char* name = "ringtone.wav") const { return m_folder / name; }

    static void ExpectStatusCall(const WorkerRun& run, LONG status) {
        ASSERT_FALSE(run.reports.empty());
        EXPECT_EQ(run.reports.back().kind, ReportKind::Notify);
        EXPECT_EQ(Numbers(run.reports.back()), std::vector<LONGLONG>{status});
        EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
    }
    // Progress reports of the total, then the final callback, no status call.
    static void ExpectFinished(const WorkerRun& run, LONG total_bytes) {
        ASSERT_FALSE(run.reports.empty());
        LONGLONG done = 0;
        for (const Report& report : run.reports) {
            ASSERT_EQ(report.kind, ReportKind::Callback);
            const std::vector<LONGLONG> values = Numbers(report);
            ASSERT_EQ(values.size(), 4u);
            EXPECT_EQ(values[2], total_bytes);
            EXPECT_GE(values[1], done);
            EXPECT_GE(values[3], 0);
            done = values[1];
        }
        for (std::size_t i = 0; i + 1 < run.reports.size(); ++i)
            EXPECT_EQ(run.reports[i].arguments[0].number, kWorking);
        EXPECT_EQ(run.reports.back().arguments[0].number, kFinished);
        EXPECT_EQ(run.reports.back().arguments[1].number, total_bytes);
        EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
    }

    ShellDouble m_shell;
    TemporaryFolder m_folder;
};

struct WaveCase {
    const char* name;
    LONG start_ms, length_ms, volume, fade_in_ms, fade_out_ms;
    Cut cut;  // what the arguments must come to
};
void PrintTo(const WaveCase& c, std::ostream* os) { *os << c.name; }

class MakeRingtoneWave : public MakeRingtoneTest, public ::testing::WithParamInterface<WaveCase> {};

TEST_P(MakeRingtoneWave, WritesTheCutWithVolumeAndFadesExactly) {
    const WaveCase& c = GetParam();
    const WorkerRun run =
        RunWorker(m_shell, "EX_MakeRingtone",
                  {ToUtf16(Input()), ToUtf16(Output()), kWave, c.start_ms, c.length_ms, c.volume,
                   c.fade_in_ms, c.fade_out_ms, LONG{100}});
    ExpectFinished(run, static_cast<LONG>(c.cut.count * 2));
    const WaveContents wave = ReadWave(Output());
    EXPECT_EQ(wave.header.status, WaveHeaderStatus::Accepted);
    EXPECT_EQ(wave.header.data_bytes, c.cut.count * 2);
    ASSERT_EQ(wave.samples.size(), c.cut.count);
    const Samples expected = Expected(Source(), c.cut);
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(wave.samples[i], expected[i]) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeRingtoneWave,
    ::testing::Values(
        WaveCase{"whole_sound", 0, 0, 100, 0, 0, {0, 441000, 100, 0, 0, 441000}},
        WaveCase{
            "cut_with_fades", 500, 1000, 100, 200, 300, {44100, 88200, 100, 17640, 26460, 61740}},
        // 3000 + 3000 ms on a 4000 ms cut: fade-in 3000, fade-out 1000.
        WaveCase{"fades_longer_than_cut",
                 0,
                 4000,
                 100,
                 3000,
                 3000,
                 {0, 352800, 100, 264600, 88200, 264600}},
        WaveCase{"volume_zero_is_silence",
                 1000,
                 2000,
                 0,
                 500,
                 500,
                 {88200, 176400, 0, 44100, 44100, 132300}},
        WaveCase{"volume_250_is_full", 1000, 2000, 250, 0, 0, {88200, 176400, 100, 0, 0, 176400}},
        WaveCase{"volume_200_saturates", 0, 1000, 200, 0, 0, {0, 88200, 200, 0, 0, 88200}},
        WaveCase{"volume_50", 0, 1000, 50, 100, 0, {0, 88200, 50, 8820, 0, 88200}},
        // 88288 samples: 21 blocks of 4096 and one of 2272.
        WaveCase{"short_last_block", 100, 1001, 100, 0, 10, {8820, 88288, 100, 0, 882, 87406}},
        // 3 ms is 132.3 frames: the cut starts on frame 132, a left sample.
        WaveCase{
            "start_on_a_fraction_of_a_frame", 3, 500, 100, 0, 0, {264, 44100, 100, 0, 0, 44100}},
        // The cut runs to the end of the sound; the fade-out, fitted to
        // the whole sound's length, still ends with the cut.
        WaveCase{"length_zero_from_inside",
                 4000,
                 0,
                 100,
                 0,
                 2000,
                 {352800, 88200, 100, 0, 176400, -88200}},
        WaveCase{
            "cut_past_the_end", 4500, 1000, 100, 0, 400, {396900, 44100, 100, 0, 35280, 8820}}),
    [](const ::testing::TestParamInfo<WaveCase>& param_info) { return param_info.param.name; });

TEST_F(MakeRingtoneTest, StatusCallsForEveryFailure) {
    const std::string input = Input();
    const std::string short_file = m_folder / "short.wav";
    std::ofstream(short_file) << std::string(43, 'R');
    const std::string mono = m_folder / "mono.wav";
    {
        auto header = MakeWaveHeader(400, kWaveRateHz, 1);
        std::ofstream file(mono, std::ios::binary);
        file.write(reinterpret_cast<const char*>(header.data()), header.size());
        file << std::string(400, '\0');
    }
    struct Case {
        const char* name;
        std::string input;
        std::string output;
        LONG start_ms;
        LONG status;
        LONG format = kWave;
    };
    const Case cases[] = {
        {"input_missing", m_folder / "missing.wav", Output(), 0, 3201},
        {"header_short", short_file, Output(), 0, 3202},
        {"not_canonical", mono, Output(), 0, 3203},
        {"start_at_the_end", input, Output(), 5000, 3200},
        {"start_beyond_the_end", input, Output(), 5001, 3202},
        {"output_not_created", input, m_folder / "no/such/folder.wav", 0, 3208},
        {"3gp_output_not_created", input, m_folder / "no/such/folder.3gp", 0,
         NB_TEST_RINGTONE_HEAAC ? 3208 : 3206, kThreeGp},
        // A device that takes no byte: the wave header, or the finished 3GP file.
        {"disk_full", input, "/dev/full", 4000, 3209},
        {"3gp_disk_full", input, "/dev/full", 4000, NB_TEST_RINGTONE_HEAAC ? 3209 : 3206, kThreeGp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WorkerRun run =
            RunWorker(m_shell, "EX_MakeRingtone",
                      {ToUtf16(c.input), ToUtf16(c.output), c.format, c.start_ms});
        ExpectStatusCall(run, c.status);
        // Progress reports only before it (a slow encoder makes some).
        for (std::size_t i = 0; i + 1 < run.reports.size(); ++i)
            EXPECT_EQ(run.reports[i].arguments.at(0).number, kWorking);
    }
}

// A pipe as input: it cannot seek to a start inside the sound (3204), and
// it lets the test decide when the next block arrives, so that the report
// and the stop come at known points.
TEST_F(MakeRingtoneTest, ReportsProgressAndStopsWhenAsked) {
    const std::string pipe = m_folder / "source.pipe";
    FifoFeeder feeder(pipe);
    constexpr std::size_t kBlock = 4096;
    const auto header = MakeWaveHeader(10 * kBlock * 2, kWaveRateHz, kWaveChannels);
    std::vector<std::uint8_t> first(header.begin(), header.end());
    const std::vector<std::uint8_t> block = WaveBytes(Samples(kBlock, 1000));
    for (int i = 0; i < 2; ++i) first.insert(first.end(), block.begin(), block.end());
    feeder.Feed(first);
    const DWORD thread = StartWorker(m_shell, "EX_MakeRingtone",
                                     {ToUtf16(pipe), ToUtf16(Output()), kWave, LONG{0}, LONG{0},
                                      LONG{50}, LONG{0}, LONG{0}, LONG{1000}});
    ASSERT_NE(thread, 0u);
    m_shell.PumpFor(1200);
    feeder.Feed(block);
    ASSERT_TRUE(m_shell.PumpUntil([&] { return !m_shell.ReportsOf(thread).empty(); }, 5000));
    const std::vector<LONGLONG> progress = Numbers(m_shell.ReportsOf(thread)[0]);
    ASSERT_EQ(progress.size(), 4u);
    EXPECT_EQ(progress[0], kWorking);
    EXPECT_EQ(progress[1], 3 * 8192);
    EXPECT_EQ(progress[2], 10 * 8192);
    EXPECT_GE(progress[3], 1000);

    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    feeder.Feed(block);
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread));
    const std::vector<Report> reports = m_shell.ReportsOf(thread);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(reports[1]), std::vector<LONGLONG>{3300});
    // A stopped cut leaves no output, and nothing half written.
    EXPECT_FALSE(std::filesystem::exists(Output()));
    EXPECT_TRUE(m_folder.StagedFiles().empty());
    feeder.Finish();

    const std::string pipe2 = m_folder / "seek.pipe";
    FifoFeeder seek_feeder(pipe2);
    seek_feeder.Feed(first);
    ExpectStatusCall(
        RunWorker(m_shell, "EX_MakeRingtone", {ToUtf16(pipe2), ToUtf16(Output()), kWave, LONG{10}}),
        3204);
}

struct ArgumentCase {
    const char* name;
    std::vector<TestValue> arguments;
    WORD code;
    const char16_t* description;
};
void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

class MakeRingtoneArguments : public MakeRingtoneTest,
                              public ::testing::WithParamInterface<ArgumentCase> {};

// The double takes an initializer list: the argument vector is spelled out
// by its length.
CallOutcome CallWith(ShellDouble& shell, const std::vector<TestValue>& v) {
    const ExFunction f = LoadExport("EX_MakeRingtone");
    switch (v.size()) {
        case 2:
            return shell.Call(f, {v[0], v[1]}, u"onRingtone");
        case 3:
            return shell.Call(f, {v[0], v[1], v[2]}, u"onRingtone");
        case 4:
            return shell.Call(f, {v[0], v[1], v[2], v[3]}, u"onRingtone");
        case 9:
            return shell.Call(f, {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]},
                              u"onRingtone");
        case 10:
            return shell.Call(f, {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]},
                              u"onRingtone");
    }
    ADD_FAILURE() << "no call with " << v.size() << " arguments";
    return {};
}

TEST_P(MakeRingtoneArguments, AreRefusedBeforeAnyThreadStarts) {
    const CallOutcome outcome = CallWith(m_shell, GetParam().arguments);
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, GetParam().code);
    EXPECT_EQ(outcome.source, u"External::MakeRingtone");
    EXPECT_EQ(outcome.description, GetParam().description);
    EXPECT_EQ(m_shell.registrations(), 0);
}

const std::u16string kIn = u"/tmp/nb-ringtone-in.wav";
const std::u16string kOut = u"/tmp/nb-ringtone-out.wav";
const char16_t* const kCount = u"Catastrophic: Bad parameters count";
const char16_t* const kKind = u"Catastrophic: Type mismatch";
const char16_t* const kFormat = u"Catastrophic: Unknown output format";

INSTANTIATE_TEST_SUITE_P(
    Checks, MakeRingtoneArguments,
    ::testing::Values(ArgumentCase{"two", {kIn, kOut}, 2100, kCount},
                      ArgumentCase{"ten",
                                   {kIn, kOut, kWave, LONG{0}, LONG{0}, LONG{100}, LONG{0}, LONG{0},
                                    LONG{200}, LONG{0}},
                                   2100,
                                   kCount},
                      ArgumentCase{"input_integer", {LONG{1}, kOut, kWave}, 2101, kKind},
                      ArgumentCase{"format_text", {kIn, kOut, kOut}, 2101, kKind},
                      ArgumentCase{"start_boolean", {kIn, kOut, kWave, true}, 2101, kKind},
                      ArgumentCase{
                          "interval_text",
                          {kIn, kOut, kWave, LONG{0}, LONG{0}, LONG{100}, LONG{0}, LONG{0}, kIn},
                          2101,
                          kKind},
                      ArgumentCase{"format_4012", {kIn, kOut, LONG{4012}}, 2104, kFormat},
                      ArgumentCase{"format_zero", {kIn, std::nullptr_t{}, LONG{0}}, 2104, kFormat}),
    [](const ::testing::TestParamInfo<ArgumentCase>& param_info) { return param_info.param.name; });

#if NB_TEST_RINGTONE_HEAAC

using isomedia::testing::RunCapturing;

// A 1000 Hz sine at half scale in both channels, three seconds.
std::string SineWave(const TemporaryFolder& folder) {
    Samples samples(3 * 44100 * 2);
    for (std::size_t i = 0; i < samples.size() / 2; ++i)
        samples[2 * i] = samples[2 * i + 1] = static_cast<std::int16_t>(
            16384 * std::sin(2 * 3.14159265358979 * 1000 * static_cast<double>(i) / 44100));
    const std::string path = folder / "sine.wav";
    WriteWave(path, samples);
    return path;
}

double Rms(const std::vector<double>& values) {
    double sum = 0;
    for (const double value : values) sum += value * value;
    return values.empty() ? 0 : std::sqrt(sum / static_cast<double>(values.size()));
}

// A 2-second cut from 0.5 s with fades of 0.5 s each.
TEST_F(MakeRingtoneTest, ThreeGpRingtoneIsHeAacV2ThatToolsReadAndFfmpegDecodes) {
    const std::string output = Output("ringtone.3gp");
    const WorkerRun run = RunWorker(m_shell, "EX_MakeRingtone",
                                    {ToUtf16(SineWave(m_folder)), ToUtf16(output), kThreeGp,
                                     LONG{500}, LONG{2000}, LONG{100}, LONG{500}, LONG{500}});
    ExpectFinished(run, 2 * 88200 * 2);

    std::string probe;
    ASSERT_EQ(RunCapturing("ffprobe -v error -show_entries format_tags=major_brand:format=duration:"
                           "stream=codec_name,profile,sample_rate,channels,extradata -show_data "
                           "-of flat '" +
                               output + "'",
                           probe),
              0)
        << probe;
    EXPECT_NE(probe.find("major_brand=\"3gp6\""), std::string::npos) << probe;
    EXPECT_NE(probe.find("profile=\"HE-AACv2\""), std::string::npos) << probe;
    EXPECT_NE(probe.find("sample_rate=\"44100\""), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=2"), std::string::npos) << probe;
    EXPECT_NE(probe.find("2b8a 0800"), std::string::npos) << probe;
    EXPECT_EQ(probe.find("streams.stream.1"), std::string::npos) << probe;
    const std::size_t at = probe.find("format.duration=\"");
    ASSERT_NE(at, std::string::npos);
    const double duration = std::stod(probe.substr(at + 17));
    EXPECT_GE(duration, 2.0);
    EXPECT_LE(duration, 2.0 + 2 * 2048.0 / 44100 + 0.1);

    std::string info;
    EXPECT_EQ(
        RunCapturing("mediainfo --Inform='Audio;%Format%|%SamplingRate%' '" + output + "'", info),
        0);
    EXPECT_EQ(info.substr(0, 4), "AAC|") << info;
    std::string atoms;
    EXPECT_EQ(RunCapturing("AtomicParsley '" + output + "' -T", atoms), 0) << atoms;
    EXPECT_NE(atoms.find("Atom mp4a"), std::string::npos) << atoms;

    std::string errors;
    const std::string decoded_path = m_folder / "decoded.wav";
    ASSERT_EQ(
        RunCapturing("ffmpeg -v error -nostdin -y -i '" + output +
                         "' -c:a pcm_s16le -ac 2 -ar 44100 -f wav -bitexact '" + decoded_path + "'",
                     errors),
        0);
    EXPECT_EQ(errors, "");
    // ffmpeg's wave header may carry more than the canonical one: read the
    // samples behind its data chunk.
    std::ifstream file(decoded_path, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t data = text.find("data");
    ASSERT_NE(data, std::string::npos);
    Samples decoded((bytes.size() - data - 8) / 2);
    std::memcpy(decoded.data(), bytes.data() + data + 8, decoded.size() * 2);
    const std::vector<double> left = Channel(decoded, 0);
    // The cut's 88200 frames behind the encoder's delay, rounded up to
    // whole access units of 2048 frames.
    const auto encoder = heaac::He2Encoder::create({32000});
    ASSERT_TRUE(encoder.encoder);
    const auto delay = static_cast<std::size_t>(encoder.encoder->delay_frames());
    EXPECT_GE(left.size(), 88200u + delay);
    EXPECT_LT(left.size(), 88200u + delay + 2048u);

    // Level, measured from where the cut starts in the decoded sound: full
    // between the fades, half in the middle of each fade, near silence at
    // the fade-in's start and the fade-out's end.
    const double lag_s = static_cast<double>(delay) / 44100;
    const auto level_db = [&](double from_s, double to_s) {
        const double rms = Rms(Stretch(left, lag_s + from_s, lag_s + to_s));
        return 20 * std::log10(rms / (0.5 / std::sqrt(2.0)));
    };
    EXPECT_NEAR(level_db(0.7, 1.3), 0, 1.0);
    EXPECT_NEAR(level_db(0.23, 0.27), 20 * std::log10(0.5), 1.5);
    EXPECT_NEAR(level_db(1.73, 1.77), 20 * std::log10(0.5), 1.5);
    EXPECT_LT(level_db(0, 0.02), -20);
    EXPECT_LT(level_db(1.98, 2.0), -20);
}

#else

TEST_F(MakeRingtoneTest, ThreeGpWithoutTheEncoderInTheBuildCannotOpenIt) {
    ExpectStatusCall(RunWorker(m_shell, "EX_MakeRingtone",
                               {ToUtf16(Input()), ToUtf16(Output("r.3gp")), kThreeGp}),
                     3206);
}

#endif

}  // namespace
}  // namespace nb::external::audio::testing
