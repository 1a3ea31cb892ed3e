// EX_PlayWaveFile and its controls through the built module, the shell
// played by the double, against a private PulseAudio whose null sink's
// monitor the tests record: what reached the sink is compared sample by
// sample with the stretch worked out here, and the moments sound arrived
// with the moments the commands were given.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

#include "external/audio/tests/audio_test_support.h"
#include "external/audio/tests/private_pulse_server.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::audio::testing {
namespace {

using nb::external::testing::CallOutcome;
using nb::external::testing::LoadExport;
using nb::external::testing::Report;
using nb::external::testing::ReportKind;
using nb::external::testing::ScopedVariable;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;
using nb::external::testing::TestValue;
using std::chrono::milliseconds;

constexpr LONG kPlaying = 3301;
constexpr LONG kPaused = 3302;
constexpr LONG kEnded = 3303;
constexpr std::size_t kSamplesPerSecond = 88200;
// A stop or a pause is heard within one buffer of 5120 samples (58 ms); the
// rest is the recorder's fragment and the test's own wake-ups. A pause that
// only stopped filling would play the stream's whole tenth of a second.
constexpr auto kSilenceWithin = milliseconds(75);

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Noise loud enough that doubling it saturates; no frame is silence.
Samples Noise(std::size_t samples, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-24000, 24000);
    Samples noise(samples);
    for (std::int16_t& sample : noise) sample = static_cast<std::int16_t>(value(random));
    for (std::size_t i = 0; i + 1 < noise.size(); i += 2)
        if (noise[i] == 0 && noise[i + 1] == 0) noise[i] = 1;
    return noise;
}

// Every frame names its own number: left 1 + k mod 32000, right
// -(1 + k / 32000). A recording of it tells which frames were played.
constexpr std::size_t kIndexBase = 32000;
Samples IndexSignal(std::size_t frames) {
    Samples signal;
    for (std::size_t k = 0; k < frames; ++k) {
        signal.push_back(static_cast<std::int16_t>(1 + k % kIndexBase));
        signal.push_back(static_cast<std::int16_t>(-1 - static_cast<long>(k / kIndexBase)));
    }
    return signal;
}
std::size_t FrameIndex(const Samples& samples, std::size_t sample) {
    return static_cast<std::size_t>(-1 - samples[sample + 1]) * kIndexBase +
           static_cast<std::size_t>(samples[sample] - 1);
}

// In samples, as {start, length, volume, fade-in, fade-out}.
struct Stretch {
    std::size_t start = 0;
    std::size_t length = 0;
    DWORD volume = 100;
    std::size_t fade_in = 0;
    std::size_t fade_out = 0;
};

// The stretch worked out sample by sample: volume, then fade-in, then
// fade-out, each product truncated toward zero and saturating; both samples
// of a frame share its position.
Samples Shaped(const Samples& source, const Stretch& s) {
    Samples out;
    const auto fade_out_start = static_cast<double>(s.length - s.fade_out);
    for (std::size_t k = 0; k < s.length; ++k) {
        const auto p = static_cast<double>(k & ~std::size_t{1});
        std::int16_t x = source[s.start + k];
        if (s.volume != 100) x = Truncated(x * (s.volume / 100.0));
        if (p < static_cast<double>(s.fade_in))
            x = Truncated(x * (p / static_cast<double>(s.fade_in)));
        if (s.fade_out != 0 && p >= fade_out_start)
            x = Truncated(x * (1.0 - (p - fade_out_start) / static_cast<double>(s.fade_out)));
        out.push_back(x);
    }
    return out;
}

// The fixture's server serves the whole test program; each test records
// the monitor from before it starts playing.
class PlaybackTest : public ::testing::Test {
   protected:
    static void SetUpTestSuite() { s_server = std::make_unique<PrivatePulseServer>(); }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override {
        ASSERT_TRUE(s_server->ready()) << "pulseaudio and pacat (pulseaudio-utils) are needed";
        m_recorder = std::make_unique<MonitorRecorder>();
        ASSERT_TRUE(m_recorder->ready());
    }

    // The file's name as a script passes it.
    std::u16string Wave(const std::string& name, const Samples& samples) {
        const std::string path = m_folder / name;
        WriteWave(path, samples);
        return ToUtf16(path);
    }

    DWORD Play(std::initializer_list<TestValue> arguments) {
        return StartWorker(m_shell, "EX_PlayWaveFile", arguments);
    }

    CallOutcome Control(const char* name, std::initializer_list<TestValue> arguments) {
        return m_shell.Call(LoadExport(name), arguments);
    }

    // The recording once the sink has rendered what was still on its way.
    Samples Recorded() {
        m_shell.PumpFor(100);
        m_recorder->Stop();
        return m_recorder->Samples();
    }

    // When the last sound of the recording arrived.
    Clock::time_point LastSoundArrival() const {
        const Samples samples = m_recorder->Samples();
        Clock::time_point last{};
        std::size_t begin = 0;
        for (const MonitorRecorder::Fragment& fragment : m_recorder->Fragments()) {
            for (std::size_t i = begin; i < fragment.end; ++i)
                if (samples[i] != 0) last = fragment.arrived;
            begin = fragment.end;
        }
        return last;
    }

    static void ExpectEndedNormally(const ShellDouble& shell, DWORD thread) {
        ASSERT_TRUE(shell.HasFinished(thread));
        const std::vector<Report> reports = shell.ReportsOf(thread);
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back().kind, ReportKind::Notify);
        EXPECT_EQ(Numbers(reports.back()), std::vector<LONGLONG>{kEnded});
        EXPECT_EQ(shell.ExitCodeOf(thread), NB_WORKER_EXIT_NORMAL);
    }

    static std::unique_ptr<PrivatePulseServer> s_server;
    TemporaryFolder m_folder;
    ShellDouble m_shell;
    std::unique_ptr<MonitorRecorder> m_recorder;
};
std::unique_ptr<PrivatePulseServer> PlaybackTest::s_server;

// The whole sound once: every sample reaches the sink unchanged, the end
// comes only once it has been played, and each report's position is the
// sound the sink had played by then, advancing as fast as time does.
TEST_F(PlaybackTest, PlaysTheWholeSoundOnceAndReportsWhatWasPlayed) {
    const Samples sound = Noise(kSamplesPerSecond * 3 / 2, 1);
    const Clock::time_point called = Clock::now();
    const DWORD thread = Play({Wave("noise.wav", sound), LONG{100}, false, LONG{0}, LONG{0},
                               LONG{0}, LONG{0}, LONG{100}});
    ASSERT_NE(thread, 0u);
    struct Heard {
        Clock::time_point at;
        LONGLONG position_ms;
        double recorded_ms;
    };
    std::vector<Heard> heard;
    std::size_t seen = 0;
    std::size_t recorded_at_end = 0;
    ASSERT_TRUE(m_shell.PumpUntil(
        [&] {
            const std::vector<Report>& reports = m_shell.reports();
            for (; seen < reports.size(); ++seen) {
                if (reports[seen].kind != ReportKind::Callback) continue;
                heard.push_back({Clock::now(), reports[seen].arguments[1].number,
                                 m_recorder->SoundingSamples() / 88.2});
            }
            if (m_shell.HasFinished(thread) && recorded_at_end == 0)
                recorded_at_end = m_recorder->SoundingSamples();
            return m_shell.HasFinished(thread);
        },
        10000));
    EXPECT_EQ(SoundingFrames(Recorded()), SoundingFrames(sound));
    ExpectEndedNormally(m_shell, thread);
    // The end waited for the sound to be played, not only written: all but
    // the recorder's last fragment had arrived.
    EXPECT_GE(recorded_at_end + 2 * 882, sound.size());

    ASSERT_GE(heard.size(), 8u);
    for (const Report& report : m_shell.ReportsOf(thread)) {
        if (report.kind != ReportKind::Callback) continue;
        const std::vector<LONGLONG> values = Numbers(report);
        EXPECT_EQ(values[0], kPlaying);
        EXPECT_EQ(values[2], 1500);
        EXPECT_GT(values[3], 5000);  // the noise's mean level is about 12000
    }
    for (std::size_t i = 0; i < heard.size(); ++i) {
        EXPECT_LE(heard[i].position_ms, Milliseconds(heard[i].at - called) + 20) << i;
        // What the sink had played when the report came, within the
        // recorder's fragment and a wake-up either way.
        EXPECT_NEAR(static_cast<double>(heard[i].position_ms), heard[i].recorded_ms, 60) << i;
        if (i > 0) {
            EXPECT_GE(heard[i].position_ms, heard[i - 1].position_ms) << i;
        }
    }
    const auto moving =
        std::find_if(heard.begin(), heard.end(), [](const Heard& h) { return h.position_ms > 0; });
    ASSERT_NE(moving, heard.end());
    const Heard& first = *moving;
    const Heard& last = heard.back();
    const double pace = static_cast<double>(last.position_ms - first.position_ms) /
                        Milliseconds(last.at - first.at);
    EXPECT_NEAR(pace, 1.0, 0.12);
}

struct ShapeCase {
    const char* name;
    LONG volume, start_ms, length_ms, fade_in_ms, fade_out_ms;
    Stretch expected;
};
void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class PlaybackShapes : public PlaybackTest, public ::testing::WithParamInterface<ShapeCase> {};

// Volume and fades reach the sink exactly as worked out here, products
// above full scale saturating.
TEST_P(PlaybackShapes, ReachTheSinkSampleForSample) {
    const ShapeCase& c = GetParam();
    const Samples sound = Noise(kSamplesPerSecond, 2);
    const DWORD thread = Play({Wave("noise.wav", sound), c.volume, false, c.start_ms, c.length_ms,
                               c.fade_in_ms, c.fade_out_ms});
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 10000));
    EXPECT_EQ(SoundingFrames(Recorded()), SoundingFrames(Shaped(sound, c.expected)));
    ExpectEndedNormally(m_shell, thread);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaybackShapes,
    ::testing::Values(
        // 300 per cent plays at 200: most of the noise saturates.
        ShapeCase{
            "saturating_with_fades", 300, 105, 400, 100, 150, {9260, 35280, 200, 8820, 13230}},
        // The fades together are longer than the stretch: the fade-out gives way.
        ShapeCase{"half_volume_fitted_fades", 50, 0, 0, 700, 700, {0, 88200, 50, 61740, 26460}},
        ShapeCase{"muted", 0, 0, 300, 0, 0, {0, 26460, 0, 0, 0}}),
    [](const ::testing::TestParamInfo<ShapeCase>& param_info) { return param_info.param.name; });

// Looping repeats the stretch with its fades, one pass straight after the
// other, until the stop; each pass reports its own position.
TEST_F(PlaybackTest, LoopingRepeatsTheStretchUntilStopped) {
    const Samples sound = Noise(kSamplesPerSecond, 3);
    const DWORD thread = Play({Wave("noise.wav", sound), LONG{100}, true, LONG{100}, LONG{150},
                               LONG{20}, LONG{20}, LONG{100}});
    ASSERT_NE(thread, 0u);
    const Samples pass = Shaped(sound, {8820, 13230, 100, 1764, 1764});
    const std::size_t pass_sounding = SoundingFrames(pass).size();
    ASSERT_TRUE(m_shell.PumpUntil(
        [&] { return m_recorder->SoundingSamples() >= 3 * pass_sounding + pass_sounding / 2; },
        10000));
    EXPECT_EQ(Control("EX_StopWaveFile", {static_cast<LONG>(thread)}).hr, S_OK);
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 5000));
    ExpectEndedNormally(m_shell, thread);

    const Samples sounding = SoundingFrames(Recorded());
    ASSERT_GE(sounding.size(), 3 * pass_sounding);
    Samples passes;
    while (passes.size() < sounding.size()) {
        const Samples one = SoundingFrames(pass);
        passes.insert(passes.end(), one.begin(), one.end());
    }
    passes.resize(sounding.size());
    EXPECT_EQ(sounding, passes);

    LONGLONG highest = 0;
    bool wrapped = false;
    for (const Report& report : m_shell.ReportsOf(thread)) {
        if (report.kind != ReportKind::Callback) continue;
        const LONGLONG position = report.arguments[1].number;
        EXPECT_LE(position, 150);
        EXPECT_EQ(report.arguments[2].number, 150);
        wrapped = wrapped || position < highest;
        highest = std::max(highest, position);
    }
    EXPECT_TRUE(wrapped) << "no report came from a later pass";
}

// A pause silences the sink at once and holds the position; the resume
// goes on with the very frame that came next, none lost, none twice.
TEST_F(PlaybackTest, PauseStopsTheSoundAndResumeContinuesWhereItPaused) {
    const Samples sound = IndexSignal(44100 * 3);
    const DWORD thread = Play({Wave("index.wav", sound), LONG{100}, false, LONG{0}, LONG{0},
                               LONG{0}, LONG{0}, LONG{100}});
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(m_shell.PumpUntil([&] { return m_recorder->SoundingSamples() >= 35280; }, 10000));
    const Clock::time_point paused = Clock::now();
    Control("EX_PauseWaveFile", {static_cast<LONG>(thread)});
    m_shell.PumpFor(600);
    const std::size_t reports_paused = m_shell.ReportsOf(thread).size();
    const Clock::time_point resumed = Clock::now();
    Control("EX_ResumeWaveFile", {static_cast<LONG>(thread)});
    const std::size_t sounding_paused = m_recorder->SoundingSamples();
    ASSERT_TRUE(m_shell.PumpUntil(
        [&] { return m_recorder->SoundingSamples() >= sounding_paused + 17640; }, 10000));
    Control("EX_StopWaveFile", {static_cast<LONG>(thread)});
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 5000));
    ExpectEndedNormally(m_shell, thread);

    // Nothing sounded from a tenth of a second after the pause to the resume.
    const Samples samples = m_recorder->Samples();
    std::size_t begin = 0;
    for (const MonitorRecorder::Fragment& fragment : m_recorder->Fragments()) {
        if (fragment.arrived > paused + kSilenceWithin && fragment.arrived < resumed) {
            for (std::size_t i = begin; i < fragment.end; ++i)
                ASSERT_EQ(samples[i], 0) << Milliseconds(fragment.arrived - paused) << " ms";
        }
        begin = fragment.end;
    }
    const Samples sounding = SoundingFrames(Recorded());
    ASSERT_GT(sounding.size(), sounding_paused);
    for (std::size_t i = 0; i < sounding.size(); i += 2)
        ASSERT_EQ(FrameIndex(sounding, i), i / 2) << "frame " << i / 2 << " of the recording";

    // The pause is reported with the next position, which holds until the resume.
    const std::vector<Report> reports = m_shell.ReportsOf(thread);
    std::vector<LONGLONG> paused_positions;
    for (std::size_t i = 0; i < reports_paused; ++i)
        if (reports[i].arguments[0].number == kPaused)
            paused_positions.push_back(reports[i].arguments[1].number);
    ASSERT_GE(paused_positions.size(), 3u);
    EXPECT_EQ(paused_positions[paused_positions.size() - 2], paused_positions.back());
    EXPECT_NEAR(static_cast<double>(paused_positions.front()),
                static_cast<double>(paused_positions.back()), 30);
    EXPECT_NEAR(static_cast<double>(paused_positions.front()), sounding_paused / 88.2, 60);
    EXPECT_EQ(reports[reports.size() - 2].arguments[0].number, kPlaying);
}

// The stop ends the sound within one buffer of the stream and the worker
// with its status call.
TEST_F(PlaybackTest, StopEndsTheSoundWithinOneBuffer) {
    const Samples sound = IndexSignal(44100 * 3);
    const DWORD thread = Play({Wave("index.wav", sound)});
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(m_shell.PumpUntil([&] { return m_recorder->SoundingSamples() >= 26460; }, 10000));
    const Clock::time_point stopped = Clock::now();
    Control("EX_StopWaveFile", {static_cast<LONG>(thread)});
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 5000));
    const Clock::time_point ended = Clock::now();
    ExpectEndedNormally(m_shell, thread);
    EXPECT_LT(Milliseconds(ended - stopped), 200);
    m_shell.PumpFor(300);
    EXPECT_LT(Milliseconds(LastSoundArrival() - stopped), Milliseconds(kSilenceWithin));
    const Samples sounding = SoundingFrames(Recorded());
    EXPECT_LT(sounding.size(), sound.size() / 2);
    for (std::size_t i = 0; i < sounding.size(); i += 2) ASSERT_EQ(FrameIndex(sounding, i), i / 2);
}

// A new volume takes effect with the next buffer filled: the sound is exact
// at the old volume up to one frame and exact at the new one from there. A
// volume above 100 per cent sets 100.
TEST_F(PlaybackTest, VolumeChangesTakeEffectWithTheNextBuffer) {
    const Samples sound = Noise(kSamplesPerSecond * 2, 4);
    const DWORD thread = Play({Wave("noise.wav", sound)});
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(m_shell.PumpUntil([&] { return m_recorder->SoundingSamples() >= 26460; }, 10000));
    Control("EX_SetWaveFileVolume", {static_cast<LONG>(thread), LONG{40}});
    const std::size_t at_change = m_recorder->SoundingSamples();
    ASSERT_TRUE(m_shell.PumpUntil(
        [&] { return m_recorder->SoundingSamples() >= at_change + 35280; }, 10000));
    Control("EX_SetWaveFileVolume", {static_cast<LONG>(thread), LONG{150}});
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 10000));
    ExpectEndedNormally(m_shell, thread);

    const Samples sounding = SoundingFrames(Recorded());
    ASSERT_EQ(sounding.size(), sound.size());
    const auto quieter = [](std::int16_t x) { return Truncated(x * 0.4); };
    std::size_t i = 0;
    while (i < sound.size() && sounding[i] == sound[i]) ++i;
    const std::size_t first_change = i;
    while (i < sound.size() && sounding[i] == quieter(sound[i])) ++i;
    const std::size_t second_change = i;
    while (i < sound.size() && sounding[i] == sound[i]) ++i;
    EXPECT_EQ(i, sound.size()) << "sample " << i << " is at neither volume";
    EXPECT_EQ(first_change % 2, 0u);
    EXPECT_GE(first_change, 26460u);
    EXPECT_GT(second_change, first_change);
    EXPECT_LT(second_change, sound.size());
}

// Controls that don't match do nothing: no stop, pause or volume reaches
// any worker (a thread id of 0 would reach them all).
TEST_F(PlaybackTest, ControlsThatDontMatchDoNothing) {
    const Samples sound = IndexSignal(44100 * 4);
    const DWORD thread = Play({Wave("index.wav", sound), LONG{100}, false, LONG{0}, LONG{0},
                               LONG{0}, LONG{0}, LONG{100}});
    ASSERT_NE(thread, 0u);
    const auto id = static_cast<LONG>(thread);
    const std::u16string id_text = u"1";
    struct Unmatched {
        const char* function;
        std::vector<TestValue> arguments;
    };
    const std::vector<Unmatched> calls = {
        {"EX_StopWaveFile", {LONG{0}}},
        {"EX_StopWaveFile", {id_text}},
        {"EX_StopWaveFile", {id, LONG{1}}},
        {"EX_StopWaveFile", {}},
        {"EX_StopWaveFile", {true}},
        {"EX_PauseWaveFile", {LONG{0}}},
        {"EX_PauseWaveFile", {id_text}},
        {"EX_PauseWaveFile", {id, id}},
        {"EX_ResumeWaveFile", {LONG{0}}},
        {"EX_SetWaveFileVolume", {id}},
        {"EX_SetWaveFileVolume", {LONG{0}, LONG{0}}},
        {"EX_SetWaveFileVolume", {id, id_text}},
        {"EX_SetWaveFileVolume", {id_text, LONG{0}}},
        {"EX_SetWaveFileVolume", {id, LONG{0}, LONG{0}}},
    };
    ASSERT_TRUE(m_shell.PumpUntil([&] { return m_recorder->SoundingSamples() >= 8820; }, 10000));
    for (const Unmatched& call : calls) {
        const CallOutcome outcome = m_shell.Call(LoadExport(call.function), call.arguments);
        EXPECT_EQ(outcome.hr, S_OK) << call.function;
        EXPECT_EQ(outcome.result.type, VT_EMPTY) << call.function;
        m_shell.PumpFor(20);
    }
    const std::size_t sounding = m_recorder->SoundingSamples();
    m_shell.PumpFor(300);
    EXPECT_FALSE(m_shell.HasFinished(thread));
    EXPECT_GT(m_recorder->SoundingSamples(), sounding + 17640) << "the sound stopped";
    for (const Report& report : m_shell.ReportsOf(thread))
        EXPECT_EQ(report.arguments[0].number, kPlaying);
    Control("EX_StopWaveFile", {id});
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 5000));
    // Every frame played at full volume: no volume command reached it.
    const Samples recorded = SoundingFrames(Recorded());
    for (std::size_t i = 0; i < recorded.size(); i += 2) ASSERT_EQ(FrameIndex(recorded, i), i / 2);
}

// The files the player refuses, each answered by a final callback carrying
// the code, before any sound.
struct FileCase {
    const char* name;
    LONG code;
};
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class PlaybackFiles : public ::testing::TestWithParam<FileCase> {
   protected:
    // The call's first two arguments for the case.
    std::vector<TestValue> Arguments(const std::string& name) {
        const auto text = [](const std::string& path) { return ToUtf16(path); };
        const std::string path = m_folder / "sound.wav";
        if (name == "null") return {nullptr};
        if (name == "missing") return {text(path)};
        if (name == "folder") return {text(m_folder.path())};
        if (name == "pipe") {
            mkfifo(path.c_str(), 0600);
            return {text(path)};
        }
        if (name == "header_43_bytes") {
            const auto header = MakeWaveHeader(0, 44100, 2);
            WriteBytes(path, {header.begin(), header.end() - 1});
            return {text(path)};
        }
        if (name == "mono") {
            auto header = MakeWaveHeader(4, 44100, 1);
            WriteBytes(path, {header.begin(), header.end()});
            return {text(path)};
        }
        WriteWave(path, name == "no_sound" ? Samples{} : Samples(88200, 100));
        if (name == "start_at_end") return {text(path), LONG{100}, false, LONG{1000}};
        if (name == "start_past_end") return {text(path), LONG{100}, false, LONG{1500}};
        return {text(path)};
    }

    static void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
        FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }

    TemporaryFolder m_folder;
};

TEST_P(PlaybackFiles, AreAnsweredWithAFinalCallback) {
    ShellDouble shell;
    const std::vector<TestValue> arguments = Arguments(GetParam().name);
    const CallOutcome outcome = shell.Call(LoadExport("EX_PlayWaveFile"), arguments, u"onPlay");
    ASSERT_EQ(outcome.hr, S_OK);
    const auto thread = static_cast<DWORD>(outcome.result.number);
    ASSERT_TRUE(shell.WaitUntilFinished(thread, 5000));
    const std::vector<Report> reports = shell.ReportsOf(thread);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].kind, ReportKind::Callback);
    EXPECT_EQ(Numbers(reports[0]), (std::vector<LONGLONG>{GetParam().code, 0, 0, 0}));
    EXPECT_EQ(shell.ExitCodeOf(thread), NB_WORKER_EXIT_NORMAL);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaybackFiles,
    ::testing::Values(FileCase{"null", 3200}, FileCase{"missing", 3200}, FileCase{"folder", 3200},
                      FileCase{"pipe", 3200}, FileCase{"header_43_bytes", 3201},
                      FileCase{"mono", 3202}, FileCase{"no_sound", 3203},
                      FileCase{"start_at_end", 3203}, FileCase{"start_past_end", 3203}),
    [](const ::testing::TestParamInfo<FileCase>& param_info) { return param_info.param.name; });

// Without a server, or with one that has no sink to open a stream on, the
// answer is 3206, soon: the wait for the server is bounded.
TEST(PlaybackDevice, NoServerOrNoSinkAnswers3206) {
    TemporaryFolder folder;
    WriteWave(folder / "sound.wav", Samples(44100, 100));
    const std::u16string path =
        u"" + std::u16string(folder.path().begin(), folder.path().end()) + u"/sound.wav";
    for (const bool with_server : {false, true}) {
        std::unique_ptr<PrivatePulseServer> sinkless;
        std::optional<ScopedVariable> nowhere;
        if (with_server) {
            sinkless = std::make_unique<PrivatePulseServer>(PrivatePulseServer::Sinks::None);
            ASSERT_TRUE(sinkless->ready());
        } else {
            nowhere.emplace("PULSE_SERVER", "unix:" + folder / "no-server");
        }
        ShellDouble shell;
        const Clock::time_point called = Clock::now();
        const CallOutcome outcome = shell.Call(LoadExport("EX_PlayWaveFile"), {path}, u"onPlay");
        ASSERT_EQ(outcome.hr, S_OK);
        const auto thread = static_cast<DWORD>(outcome.result.number);
        ASSERT_TRUE(shell.WaitUntilFinished(thread, 10000));
        EXPECT_LT(Milliseconds(Clock::now() - called), 3500);
        const std::vector<Report> reports = shell.ReportsOf(thread);
        ASSERT_EQ(reports.size(), 1u) << with_server;
        EXPECT_EQ(reports[0].kind, ReportKind::Callback);
        EXPECT_EQ(Numbers(reports[0]), (std::vector<LONGLONG>{3206, 0, 500, 0})) << with_server;
    }
}

// A server that goes away while playing ends the playback with 3206, not
// with the end of playback: the sound was not played.
TEST(PlaybackDevice, AServerLostWhilePlayingAnswers3206) {
    TemporaryFolder folder;
    WriteWave(folder / "sound.wav", Samples(3 * kSamplesPerSecond, 100));
    PrivatePulseServer server;
    ASSERT_TRUE(server.ready());
    ShellDouble shell;
    const DWORD thread = StartWorker(shell, "EX_PlayWaveFile", {ToUtf16(folder / "sound.wav")});
    ASSERT_NE(thread, 0u);
    // Lost once some of the sound has been played, so there is a position.
    const auto played = [&] {
        for (const Report& report : shell.ReportsOf(thread)) {
            const std::vector<LONGLONG> values = Numbers(report);
            if (values.size() == 4 && values[0] == 3301 && values[1] > 0) return true;
        }
        return false;
    };
    ASSERT_TRUE(shell.PumpUntil(played, 5000));
    server.StopDaemon();
    const Clock::time_point lost = Clock::now();
    ASSERT_TRUE(shell.WaitUntilFinished(thread, 5000));
    EXPECT_LT(Milliseconds(Clock::now() - lost), 500);
    const std::vector<Report> reports = shell.ReportsOf(thread);
    EXPECT_EQ(reports.back().kind, ReportKind::Callback);
    // Where the sound was lost, and the level of what was being played.
    const std::vector<LONGLONG> values = Numbers(reports.back());
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0], 3206);
    EXPECT_GT(values[1], 0);
    EXPECT_EQ(values[2], 3000);
    EXPECT_EQ(values[3], 100);
}

// The argument checks come before any thread starts.
struct ArgumentCase {
    const char* name;
    std::vector<TestValue> arguments;
    WORD code;
};
void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

class PlaybackArguments : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(PlaybackArguments, AreRefusedBeforeAnyThreadStarts) {
    ShellDouble shell;
    const CallOutcome outcome =
        shell.Call(LoadExport("EX_PlayWaveFile"), GetParam().arguments, u"onPlay");
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, GetParam().code);
    EXPECT_EQ(outcome.scode, -static_cast<SCODE>(GetParam().code));
    EXPECT_EQ(outcome.source, u"External::PlayWaveFile");
    EXPECT_EQ(outcome.description, GetParam().code == 2100 ? u"Catastrophic: Bad parameters count"
                                                           : u"Catastrophic: Type mismatch");
    EXPECT_EQ(shell.registrations(), 0);
}

const std::u16string kFile = u"/tmp/nb-playback-argument-check.wav";
constexpr WORD kCount = 2100;
constexpr WORD kKind = 2101;

INSTANTIATE_TEST_SUITE_P(
    Checks, PlaybackArguments,
    ::testing::Values(ArgumentCase{"none", {}, kCount},
                      ArgumentCase{"nine",
                                   {kFile, LONG{100}, false, LONG{0}, LONG{0}, LONG{0}, LONG{0},
                                    LONG{200}, LONG{0}},
                                   kCount},
                      ArgumentCase{"file_integer", {LONG{1}}, kKind},
                      ArgumentCase{"file_empty", {std::monostate{}}, kKind},
                      ArgumentCase{"volume_text", {kFile, kFile}, kKind},
                      ArgumentCase{"loop_integer", {kFile, LONG{100}, LONG{1}}, kKind},
                      ArgumentCase{"start_boolean", {kFile, LONG{100}, true, true}, kKind},
                      ArgumentCase{
                          "interval_text",
                          {kFile, LONG{100}, false, LONG{0}, LONG{0}, LONG{0}, LONG{0}, kFile},
                          kKind}),
    [](const ::testing::TestParamInfo<ArgumentCase>& param_info) { return param_info.param.name; });

}  // namespace
}  // namespace nb::external::audio::testing
