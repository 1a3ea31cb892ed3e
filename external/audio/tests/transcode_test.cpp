// EX_Transcode through the real module against media that ffmpeg and sox make
// at test time: the sound that comes out is measured, not just the status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>

#include "external/audio/tests/audio_test_support.h"
#include "external/audio/tests/test_media.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::audio::testing {
namespace {

using nb::external::testing::ReportKind;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;

constexpr LONG kDecoding = 3301;
constexpr LONG kNormalising = 3302;
constexpr LONG kFinished = 3303;
constexpr double kSourceSeconds = 2.0;
constexpr double kSourceAmplitude = 0.5;
constexpr double kOutputRateHz = 44100;
// The mixer's block: 2048 bytes, 512 frames.
constexpr long kBlockFrames = 512;

class TranscodeTest : public ::testing::Test {
   protected:
    WorkerRun Transcode(std::initializer_list<nb::external::testing::TestValue> arguments) {
        return RunWorker(m_shell, "EX_Transcode", arguments);
    }
    static std::u16string Media(const std::string& name) { return ToUtf16(TestMedia::Path(name)); }
    std::u16string Output(const std::string& name = "out.wav") const {
        return ToUtf16(m_folder / name);
    }
    static void ExpectStatusCall(const WorkerRun& run, LONG status) {
        ASSERT_EQ(run.reports.size(), 1u);
        EXPECT_EQ(run.reports[0].kind, ReportKind::Notify);
        EXPECT_EQ(Numbers(run.reports[0]), std::vector<LONGLONG>{status});
        EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
    }

    ShellDouble m_shell;
    TemporaryFolder m_folder;
};

struct SourceCase {
    const char* file;
    double left_hz;
    double right_hz;
    double amplitude;  // of each channel, as a fraction of full scale
    double amplitude_tolerance;
    long frames_tolerance;
};
void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.file; }

class SourceTranscode : public TranscodeTest, public ::testing::WithParamInterface<SourceCase> {};

// Without normalising the sound keeps its level: each channel's tone comes
// out at its frequency and amplitude, and the length stays.
TEST_P(SourceTranscode, GivesTheSourcesToneAtItsLevel) {
    const SourceCase& source = GetParam();
    const std::u16string input = Media(source.file);
    const DWORD start = GetTickCount();
    const WorkerRun run = Transcode({input, Output(), false, LONG{100}});
    const auto waited_ms = static_cast<LONGLONG>(GetTickCount() - start);
    ASSERT_FALSE(run.reports.empty());
    const auto& final_report = run.reports.back();
    EXPECT_EQ(final_report.kind, ReportKind::Callback);
    const auto size = static_cast<LONGLONG>(std::filesystem::file_size(ToUtf8(input)));
    const std::vector<LONGLONG> numbers = Numbers(final_report);
    ASSERT_EQ(numbers.size(), 4u);
    EXPECT_EQ(numbers[0], kFinished);
    EXPECT_EQ(numbers[1], size);
    EXPECT_EQ(numbers[2], size);
    EXPECT_GE(numbers[3], 0);
    EXPECT_LE(numbers[3], waited_ms);
    for (std::size_t i = 0; i + 1 < run.reports.size(); ++i)
        EXPECT_EQ(Numbers(run.reports[i])[0], kDecoding);

    const WaveContents wave = ReadWave(ToUtf8(Output()));
    ASSERT_EQ(wave.header.status, WaveHeaderStatus::Accepted);
    EXPECT_EQ(wave.header.data_bytes, wave.samples.size() * 2);
    const long frames = static_cast<long>(wave.samples.size() / 2);
    EXPECT_NEAR(frames, kSourceSeconds * kOutputRateHz, source.frames_tolerance);
    const double rates[] = {source.left_hz, source.right_hz};
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<double> values = Middle(Channel(wave.samples, channel));
        EXPECT_NEAR(ZeroCrossingFrequency(values, kOutputRateHz), rates[channel],
                    rates[channel] * 0.005)
            << "channel " << channel;
        EXPECT_NEAR(ToneAmplitude(values, kOutputRateHz, rates[channel]), source.amplitude,
                    source.amplitude_tolerance)
            << "channel " << channel;
    }
}

// Centre and surround channels join the front ones at -3 dB, scaled so that
// full-scale channels cannot clip: the fronts keep 1 / (1 + 2 x 0.7071).
constexpr double kSurroundFrontShare = 1 / (1 + 2 * 0.70710678);

INSTANTIATE_TEST_SUITE_P(
    Sources, SourceTranscode,
    // Lengths: MP3 and Vorbis streams say how much of their first and last
    // frames is sound and come out exact; a WMA or MP2 stream may be a frame
    // (2048 or 1152 samples) off; resampled sound within one block.
    ::testing::Values(SourceCase{"tone.mp3", 440, 1000, kSourceAmplitude, 0.02, 0},
                      SourceCase{"tone.wma", 440, 1000, kSourceAmplitude, 0.02, 2048},
                      SourceCase{"tone.ogg", 440, 1000, kSourceAmplitude, 0.02, 0},
                      SourceCase{"tone.flac", 440, 1000, kSourceAmplitude, 0.005, 0},
                      SourceCase{"mono_22050.wav", 440, 440, kSourceAmplitude, 0.005, kBlockFrames},
                      SourceCase{"stereo_48000.wav", 440, 1000, kSourceAmplitude, 0.005,
                                 kBlockFrames},
                      SourceCase{"stereo_24bit.wav", 440, 1000, kSourceAmplitude, 0.005, 0},
                      SourceCase{"surround_5_1.wav", 440, 1000,
                                 kSourceAmplitude* kSurroundFrontShare, 0.005, kBlockFrames},
                      SourceCase{"video_two_audio.mkv", 1000, 1000, kSourceAmplitude, 0.02, 1152}),
    [](const ::testing::TestParamInfo<SourceCase>& param_info) {
        std::string name = param_info.param.file;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

// By default the loudest sample is raised to full scale in a second pass.
// Both passes write files of their own beside the output, which are gone at
// the end; a user's file named like the output with "~" is left alone.
TEST_F(TranscodeTest, NormalisesInASecondPassByDefault) {
    const std::string neighbour = ToUtf8(Output()) + "~";
    std::ofstream(neighbour) << "left over";
    const WorkerRun run = Transcode({Media("tone.mp3"), Output()});
    EXPECT_TRUE(std::filesystem::exists(neighbour));
    EXPECT_TRUE(m_folder.StagedFiles().empty());

    const WaveContents wave = ReadWave(ToUtf8(Output()));
    ASSERT_EQ(wave.header.status, WaveHeaderStatus::Accepted);
    const auto pcm_bytes = static_cast<LONGLONG>(wave.samples.size() * 2);
    EXPECT_EQ(wave.header.data_bytes, pcm_bytes);
    EXPECT_EQ(PeakMagnitude(wave.samples), 32767);
    for (int channel = 0; channel < 2; ++channel) {
        const double tone_hz = channel == 0 ? 440 : 1000;
        EXPECT_NEAR(ZeroCrossingFrequency(Middle(Channel(wave.samples, channel)), kOutputRateHz),
                    tone_hz, tone_hz * 0.005);
    }

    // Decoding ends with a report the worker waits for, then the second pass
    // reports on its own scale and the last report gives the sound's length.
    const auto size = static_cast<LONGLONG>(std::filesystem::file_size(ToUtf8(Media("tone.mp3"))));
    ASSERT_GE(run.reports.size(), 2u);
    std::size_t index = 0;
    while (index < run.reports.size() && Numbers(run.reports[index])[0] == kDecoding) ++index;
    ASSERT_GE(index, 1u);
    const std::vector<LONGLONG> decoded = Numbers(run.reports[index - 1]);
    EXPECT_EQ(decoded[1], size);
    EXPECT_EQ(decoded[2], size);
    for (; index + 1 < run.reports.size(); ++index) {
        const std::vector<LONGLONG> progress = Numbers(run.reports[index]);
        EXPECT_EQ(progress[0], kNormalising);
        EXPECT_EQ(progress[2], pcm_bytes);
    }
    const std::vector<LONGLONG> last = Numbers(run.reports.back());
    EXPECT_EQ(last[0], kFinished);
    EXPECT_EQ(last[1], pcm_bytes);
    EXPECT_EQ(last[2], pcm_bytes);
    for (const auto& report : run.reports) EXPECT_EQ(report.kind, ReportKind::Callback);
}

// A 44100 Hz stereo source of 16-bit samples comes through untouched; when
// it already peaks at full scale there is no second pass.
TEST_F(TranscodeTest, ACanonicalSourceAtFullScaleIsCopiedInOnePass) {
    Samples samples;
    std::mt19937 random(3);
    for (int i = 0; i < 44100 * 2; ++i)
        samples.push_back(static_cast<std::int16_t>(random() % 20001) - 10000);
    samples[1001] = 32767;
    const std::string source = m_folder / "source.wav";
    WriteWave(source, samples);
    const WorkerRun run = Transcode({ToUtf16(source), Output(), true});
    ASSERT_EQ(run.reports.size(), 1u);
    const auto size = static_cast<LONGLONG>(std::filesystem::file_size(source));
    const std::vector<LONGLONG> numbers = Numbers(run.reports[0]);
    EXPECT_EQ((std::vector<LONGLONG>{numbers[0], numbers[1], numbers[2]}),
              (std::vector<LONGLONG>{kFinished, size, size}));
    EXPECT_EQ(ReadWave(ToUtf8(Output())).samples, samples);
}

// Normalising scales exactly: every sample becomes sample x 32767 / peak,
// truncated, and the peak lands on 32767 whatever it was. With a peak of 49
// the ratio taken as a double gain would leave the peak at 32766.
TEST_F(TranscodeTest, NormalisingScalesEverySampleByTheSameRatio) {
    Samples samples = {49, -49, 21, -42, 0, 1, -1, 48};
    samples.resize(4410, 7);
    const std::string source = m_folder / "quiet.wav";
    WriteWave(source, samples);
    Transcode({ToUtf16(source), Output()});
    const Samples out = ReadWave(ToUtf8(Output())).samples;
    ASSERT_EQ(out.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(out[i], samples[i] * 32767 / 49) << "sample " << i;
}

// FFmpeg's own command line is the measure of how much sound a broken file
// still holds.
std::size_t FramesFfmpegDecodes(const std::string& path, const std::string& scratch) {
    if (!RunTool(kFfmpegQuiet + "-i '" + path + "' -ac 2 -ar 44100 -f s16le '" + scratch + "'"))
        return 0;
    return std::filesystem::file_size(scratch) / 4;
}

TEST_F(TranscodeTest, ADamagedStreamIsDecodedAroundTheDamage) {
    for (const char* name : {"damaged.mp3", "cut_in_half.mp3"}) {
        const WorkerRun run = Transcode({Media(name), Output(), false});
        ASSERT_FALSE(run.reports.empty());
        EXPECT_EQ(Numbers(run.reports.back())[0], kFinished) << name;
        const WaveContents wave = ReadWave(ToUtf8(Output()));
        const auto frames = static_cast<long>(wave.samples.size() / 2);
        const auto reference =
            static_cast<long>(FramesFfmpegDecodes(ToUtf8(Media(name)), m_folder / "reference.raw"));
        EXPECT_NEAR(frames, reference, kBlockFrames) << name;
        EXPECT_GT(frames, 44100 * 9 / 10) << name;
        // The damage lies after the first 0.8 s; the tone before it is whole.
        const std::vector<double> right = Stretch(Channel(wave.samples, 1), 0.1, 0.7);
        EXPECT_NEAR(ZeroCrossingFrequency(right, kOutputRateHz), 1000, 5) << name;
        EXPECT_NEAR(ToneAmplitude(right, kOutputRateHz, 1000), kSourceAmplitude, 0.02) << name;
    }
}

struct FailureCase {
    const char* name;
    std::string input;   // a media file's name, or a path under the test's folder
    std::string output;  // under the test's folder unless absolute
    LONG status;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class TranscodeFailure : public TranscodeTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TranscodeFailure, IsOneStatusCall) {
    const FailureCase& failure = GetParam();
    const bool own = failure.input.rfind("own:", 0) == 0;
    const std::string input =
        own ? m_folder / failure.input.substr(4) : TestMedia::Path(failure.input);
    const std::string output =
        failure.output.front() == '/' ? failure.output : m_folder / failure.output;
    ExpectStatusCall(Transcode({ToUtf16(input), ToUtf16(output)}), failure.status);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TranscodeFailure,
    ::testing::Values(FailureCase{"missing_input", "own:no_such_file.mp3", "out.wav", 3200},
                      FailureCase{"folder_as_input", "own:", "out.wav", 3200},
                      FailureCase{"random_bytes", "random.bin", "out.wav", 3200},
                      FailureCase{"text_named_mp3", "text.mp3", "out.wav", 3200},
                      FailureCase{"no_audio_stream", "video_only.mkv", "out.wav", 3202},
                      FailureCase{"no_decoder", "unknown_codec.wav", "out.wav", 3203},
                      FailureCase{"decoder_not_opened", "experimental.mkv", "out.wav", 3204},
                      FailureCase{"no_converter", "hundred_channels.wav", "out.wav", 3205},
                      FailureCase{"output_folder_missing", "tone.mp3", "missing/out.wav", 3206},
                      FailureCase{"output_cannot_be_written", "tone.mp3", "/dev/full", 3207}),
    [](const ::testing::TestParamInfo<FailureCase>& param_info) { return param_info.param.name; });

TEST_F(TranscodeTest, NullFileNamesNameNoFile) {
    ExpectStatusCall(Transcode({nullptr, Output()}), 3200);
    ExpectStatusCall(Transcode({Media("tone.mp3"), nullptr}), 3206);
}

std::vector<std::uint8_t> Concatenate(std::vector<std::uint8_t> first,
                                      const std::vector<std::uint8_t>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A source arriving through a pipe: decoding waits for its bytes, so the
// test decides when a progress report is due and when the stop comes.
TEST_F(TranscodeTest, ReportsCompressedBytesReadAndStopsWhenAsked) {
    const std::string pipe = m_folder / "source.pipe";
    FifoFeeder feeder(pipe);
    // The container reader looks at the first fifty packets before decoding
    // starts, so the first portion is two seconds long.
    const Samples two_seconds(176400, 1000);
    const Samples a_little(4096, 1000);
    const auto header = MakeWaveHeader(4 * 176400, kWaveRateHz, kWaveChannels);
    feeder.Feed(Concatenate({header.begin(), header.end()}, WaveBytes(two_seconds)));
    const DWORD thread =
        StartWorker(m_shell, "EX_Transcode", {ToUtf16(pipe), Output(), true, LONG{1000}});
    ASSERT_NE(thread, 0u);
    // Nothing is reported while the worker waits for bytes, however long.
    m_shell.PumpFor(1200);
    EXPECT_TRUE(m_shell.ReportsOf(thread).empty());
    feeder.Feed(WaveBytes(a_little));
    ASSERT_TRUE(m_shell.PumpUntil([&] { return !m_shell.ReportsOf(thread).empty(); }, 5000));
    const std::vector<LONGLONG> progress = Numbers(m_shell.ReportsOf(thread)[0]);
    ASSERT_EQ(progress.size(), 4u);
    EXPECT_EQ(progress[0], kDecoding);
    EXPECT_GT(progress[1], 176400);
    EXPECT_LE(progress[1], 44 + 2 * 176400 + 8192);
    EXPECT_EQ(progress[2], 0);  // a pipe has no size
    EXPECT_GE(progress[3], 1200);

    m_shell.SendCommand(thread, NB_COMMAND_STOP);
    feeder.Feed(WaveBytes(a_little));
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread));
    const auto reports = m_shell.ReportsOf(thread);
    EXPECT_EQ(reports.back().kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(reports.back()), std::vector<LONGLONG>{3300});
    // A stopped transcode leaves no output, and nothing half written.
    EXPECT_FALSE(std::filesystem::exists(ToUtf8(Output())));
    EXPECT_TRUE(m_folder.StagedFiles().empty());
}

}  // namespace
}  // namespace nb::external::audio::testing
