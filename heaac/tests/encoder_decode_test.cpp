// End-to-end: encode WAV files with heaac-enc and decode them with FFmpeg's and faad's decoders.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "heaac/wav_reader.h"
#include "test_support.h"

namespace heaac {
namespace {

namespace fs = std::filesystem;
using test::read_wav;
using test::run;
using test::write_wav;

struct Signal {
    const char* name;
    int rate_hz;
    int channels;
    int bitrate_bps;
    int frames;  // samples per channel
    std::function<double(int index, int channel)> sample;
};

class EncodeDecode : public ::testing::TestWithParam<Signal> {
   protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("heaac_test_" + std::string(GetParam().name) + "_" + std::to_string(getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

std::vector<std::int16_t> render(const Signal& signal) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < signal.frames; ++i) {
        for (int c = 0; c < signal.channels; ++c) {
            samples.push_back(static_cast<std::int16_t>(
                std::clamp(std::lround(signal.sample(i, c)), -32768L, 32767L)));
        }
    }
    return samples;
}

// Every stream decodes silently with both decoders, to the input length plus the
// encoder delay (2048) rounded up to whole frames, with finite samples.
TEST_P(EncodeDecode, DecodesCleanlyWithFfmpegAndFaad) {
    const Signal& signal = GetParam();
    const auto input = m_dir / "in.wav";
    const auto coded = m_dir / "out.aac";
    write_wav(input, signal.rate_hz, signal.channels, render(signal));
    const auto encoded =
        run(std::string(HEAAC_ENC_PATH) + " --lc --bitrate " + std::to_string(signal.bitrate_bps) +
            " " + input.string() + " " + coded.string());
    ASSERT_EQ(encoded.exit_code, 0) << encoded.output;
    EXPECT_NE(encoded.output.find("encoder delay: 2048"), std::string::npos);

    const auto ffmpeg = run("ffmpeg -v error -f aac -i " + coded.string() + " -f null -");
    EXPECT_EQ(ffmpeg.exit_code, 0);
    EXPECT_EQ(ffmpeg.output, "");
    const auto faad_wav = m_dir / "faad.wav";
    const auto faad = run("faad -q -o " + faad_wav.string() + " " + coded.string());
    EXPECT_EQ(faad.exit_code, 0) << faad.output;
    EXPECT_EQ(faad.output.find("rror"), std::string::npos) << faad.output;

    const auto decoded_wav = m_dir / "ffmpeg.wav";
    ASSERT_EQ(run("ffmpeg -v error -f aac -i " + coded.string() + " -c:a pcm_s16le " +
                  decoded_wav.string())
                  .exit_code,
              0);
    const auto decoded = read_wav(decoded_wav);
    const int frames = (signal.frames + 2048 + 1023) / 1024;
    EXPECT_EQ(decoded.channels, signal.channels);
    EXPECT_EQ(static_cast<int>(decoded.samples.size()), frames * 1024 * signal.channels);
}

const Signal kSignals[] = {
    {"silence", 22050, 1, 24000, 22050, [](int, int) { return 0.0; }},
    {"tone_mono", 22050, 1, 24000, 44100,
     [](int i, int) { return 10000.0 * std::sin(2 * std::numbers::pi * 1000.0 * i / 22050.0); }},
    {"square_stereo", 44100, 2, 64000, 44100,
     [](int i, int c) { return ((i / (c == 0 ? 50 : 37)) % 2 == 0) ? 32767.0 : -32768.0; }},
    {"impulse", 44100, 1, 64000, 5000, [](int i, int) { return i == 2000 ? 32767.0 : 0.0; }},
    {"very_short", 44100, 2, 64000, 100, [](int i, int c) { return 1000.0 * ((i + c) % 7); }},
    // Decaying noise bursts every 100 ms switch to short windows and back.
    {"click_train_stereo", 44100, 2, 64000, 44100,
     [](int i, int c) {
         const int since_click = i % 4410;
         return since_click < 400
                    ? 20000.0 * std::exp(-since_click / 80.0) * std::sin(i * (1.7 + c))
                    : 0.0;
     }},
    // White noise goes largely as noise substitution (PNS) above 4 kHz.
    {"white_noise_mono", 22050, 1, 24000, 44100,
     [](int i, int) {
         return 6000.0 * std::sin(i * 12.9898) * std::cos(i * 78.233 + 0.5 * std::sin(i * 0.001));
     }},
    {"noise_stereo", 44100, 2, 64000, 44100 + 333,
     [](int i, int c) {
         return 8000.0 * std::sin(i * 12.9898 + c * 78.233) * std::cos(i * 0.731);
     }},
};

INSTANTIATE_TEST_SUITE_P(Signals, EncodeDecode, ::testing::ValuesIn(kSignals),
                         [](const ::testing::TestParamInfo<Signal>& param_info) {
                             return std::string(param_info.param.name);
                         });

}  // namespace
}  // namespace heaac
