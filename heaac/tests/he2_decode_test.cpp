// End-to-end tests of the HE-AAC v2 encoder with real decoders: FFmpeg's (and ffprobe) and faad
// decode every stream cleanly to 44100 Hz stereo with the source's level, timing and image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "heaac/he2_encoder.h"
#include "heaac/sbr_qmf.h"
#include "test_support.h"

namespace heaac {
namespace {

namespace fs = std::filesystem;
using test::run;

constexpr int kRate = He2Encoder::kInputRateHz;
constexpr int kBlock = He2Encoder::kInputFrames;

using Source = std::function<std::pair<float, float>(int index)>;

// A chord of 32 tones from 150 Hz to 14 kHz, log-spaced, with fixed random phases: energy in
// the core band and in the replicated band alike.
float multitone(int index, int phase_offset = 1) {
    static const auto phases = [] {
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> phase(0.0, 2 * std::numbers::pi);
        std::array<double, 64> p{};
        for (auto& v : p) v = phase(rng);
        return p;
    }();
    double sum = 0.0;
    for (int k = 0; k < 32; ++k) {
        const double frequency = 150.0 * std::pow(14000.0 / 150.0, k / 31.0);
        sum += std::sin(2 * std::numbers::pi * frequency * index / kRate +
                        phases[static_cast<std::size_t>(k + phase_offset)]);
    }
    return static_cast<float>(700.0 * sum);
}

struct Encoded {
    std::vector<std::uint8_t> adts;
    std::int64_t payload_bytes = 0;  // access units without ADTS headers
    int blocks = 0;
    int delay = 0;
};

// Encodes `frames` frames plus enough silence to flush the encoder's delay.
Encoded encode(const Source& source, int frames, int bitrate = 32000) {
    auto created = He2Encoder::create({bitrate});
    EXPECT_TRUE(created.encoder) << created.error;
    Encoded out;
    out.delay = created.encoder->delay_frames();
    std::vector<float> block(2 * kBlock);
    for (int at = 0; at < frames + out.delay; at += kBlock) {
        for (int i = 0; i < kBlock; ++i) {
            const auto [l, r] =
                at + i < frames ? source(at + i) : std::pair<float, float>{0.0F, 0.0F};
            block[static_cast<std::size_t>(2 * i)] = l;
            block[static_cast<std::size_t>(2 * i + 1)] = r;
        }
        const auto frame = created.encoder->encode(block);
        out.payload_bytes += static_cast<std::int64_t>(frame.access_unit.size());
        const auto adts = created.encoder->to_adts(frame.access_unit);
        out.adts.insert(out.adts.end(), adts.begin(), adts.end());
        ++out.blocks;
    }
    return out;
}

class He2Decode : public ::testing::Test {
   protected:
    fs::path write(const Encoded& encoded, const std::string& name) {
        const auto path = m_dir.path() / (name + ".aac");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(encoded.adts.data()),
                   static_cast<std::streamsize>(encoded.adts.size()));
        return path;
    }
    test::ScratchDir m_dir{"he2"};
};

// Energy above about 7 kHz: a fourth-order difference passes the replicated band and
// suppresses the low band by 50 dB or more.
double high_band_energy(const std::vector<float>& interleaved, int channel, std::size_t first,
                        std::size_t last) {
    double sum = 0.0;
    for (std::size_t i = std::max<std::size_t>(first, 4);
         i < last && 2 * i + 1 < interleaved.size(); ++i) {
        const auto x = [&](std::size_t k) {
            return static_cast<double>(interleaved[2 * k + static_cast<std::size_t>(channel)]);
        };
        const double y = x(i) - 4 * x(i - 1) + 6 * x(i - 2) - 4 * x(i - 3) + x(i - 4);
        sum += y * y;
    }
    return sum;
}

double energy(const std::vector<float>& interleaved, int channel, std::size_t first,
              std::size_t last) {
    double sum = 0.0;
    for (std::size_t i = first; i < last && 2 * i + 1 < interleaved.size(); ++i) {
        sum += static_cast<double>(interleaved[2 * i + static_cast<std::size_t>(channel)]) *
               interleaved[2 * i + static_cast<std::size_t>(channel)];
    }
    return sum;
}

double db(double ratio) { return 10.0 * std::log10(ratio); }

struct CleanCase {
    const char* name;
    int frames;
    Source source;
};

TEST_F(He2Decode, EveryStreamDecodesCleanlyToStereoAt44100Hz) {
    const CleanCase cases[] = {
        {"silence", kRate,
         [](int) {
             return std::pair{0.0F, 0.0F};
         }},
        {"multitone", 2 * kRate,
         [](int i) {
             return std::pair{multitone(i), multitone(i, 9)};
         }},
        {"very_short", 100,
         [](int i) {
             return std::pair{1000.0F * static_cast<float>(i % 7), -500.0F};
         }},
        {"full_scale_square", kRate,
         [](int i) {
             return std::pair{(i / 40) % 2 ? 32767.0F : -32768.0F,
                              (i / 7) % 2 ? 32767.0F : -32768.0F};
         }},
        // Damaged input: not-a-number, infinities and huge values are taken as silence or limits.
        {"non_finite", kRate / 2,
         [](int i) {
             const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::infinity(), -1e30F, 1000.0F};
             return std::pair{bad[i % 4], bad[(i / 3) % 4]};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto encoded = encode(c.source, c.frames);
        const auto path = write(encoded, c.name);
        const auto ffmpeg = run("ffmpeg -v error -f aac -i " + path.string() + " -f null -");
        EXPECT_EQ(ffmpeg.exit_code, 0);
        EXPECT_EQ(ffmpeg.output, "");
        const auto decoded = test::decode_to_float(path);
        EXPECT_EQ(decoded.size(), static_cast<std::size_t>(2 * kBlock * encoded.blocks));
        float peak = 0.0F;
        for (float v : decoded)
            peak = std::isfinite(v) ? std::max(peak, std::abs(v))
                                    : std::numeric_limits<float>::infinity();
        // Replicated harmonics come back with new phases, so full-scale square waves peak higher
        // than they went in (up to about 2.8 here); anything far beyond would be a fault.
        EXPECT_LE(peak, 4.0F);

        const auto faad_wav = m_dir.path() / (std::string(c.name) + ".faad.wav");
        const auto faad = run("faad -q -o " + faad_wav.string() + " " + path.string());
        EXPECT_EQ(faad.exit_code, 0) << faad.output;
        EXPECT_EQ(faad.output.find("rror"), std::string::npos) << faad.output;
        const auto faad_audio = test::read_wav(faad_wav);
        EXPECT_EQ(faad_audio.rate_hz, kRate);
        EXPECT_EQ(faad_audio.channels, 2);
    }
}

TEST_F(He2Decode, FfprobeSeesHeAacV2) {
    const auto path = write(encode(
                                [](int i) {
                                    return std::pair{multitone(i), multitone(i, 5)};
                                },
                                kRate),
                            "probe");
    const auto probe =
        run("ffprobe -v error -select_streams a:0 -show_entries "
            "stream=profile,sample_rate,channels -of default=nw=1 " +
            path.string());
    EXPECT_EQ(probe.exit_code, 0);
    EXPECT_NE(probe.output.find("profile=HE-AACv2"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("sample_rate=44100"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("channels=2"), std::string::npos) << probe.output;
}

TEST_F(He2Decode, HardLeftStaysLeftAndMonoStaysCentred) {
    const int frames = 2 * kRate;
    const auto left = test::decode_to_float(write(encode(
                                                      [](int i) {
                                                          return std::pair{multitone(i), 0.0F};
                                                      },
                                                      frames),
                                                  "left"));
    const auto mono =
        test::decode_to_float(write(encode(
                                        [](int i) {
                                            return std::pair{multitone(i), multitone(i)};
                                        },
                                        frames),
                                    "mono"));
    ASSERT_FALSE(left.empty());
    ASSERT_FALSE(mono.empty());
    // The middle of the signal, past the encoder delay.
    const std::size_t first = kRate / 2 + 5200, last = frames;
    EXPECT_GT(db(energy(left, 0, first, last) / energy(left, 1, first, last)), 20.0);
    EXPECT_GT(db(high_band_energy(left, 0, first, last) / high_band_energy(left, 1, first, last)),
              20.0);
    EXPECT_NEAR(db(energy(mono, 0, first, last) / energy(mono, 1, first, last)), 0.0, 0.2);
    EXPECT_NEAR(db(high_band_energy(mono, 0, first, last) / high_band_energy(mono, 1, first, last)),
                0.0, 0.2);
    // Hard left keeps the loudness of the left channel: the downmix makes up the lost half.
    double source = 0.0;
    for (std::size_t i = first - 5122; i < last - 5122; ++i)
        source += std::pow(multitone(static_cast<int>(i)) / 32768.0, 2);
    EXPECT_NEAR(db(energy(left, 0, first, last) / source), 0.0, 1.5);
}

TEST_F(He2Decode, ReportedDelayAndLevelMatchTheDecodedStream) {
    // Noise made of 400 tones at random frequencies from 100 Hz to 15 kHz (inside the coded
    // range): a sharp correlation peak, and the same level in every band.
    const int frames = 2 * kRate;
    std::vector<float> source(static_cast<std::size_t>(2 * frames));
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> frequency(100.0, 15000.0),
        phase(0.0, 2 * std::numbers::pi);
    for (int k = 0; k < 400; ++k) {
        const double f = frequency(rng), p = phase(rng);
        for (int i = 0; i < frames; ++i)
            source[static_cast<std::size_t>(2 * i)] +=
                static_cast<float>(200.0 * std::sin(2 * std::numbers::pi * f * i / kRate + p));
    }
    for (int i = 0; i < frames; ++i)
        source[static_cast<std::size_t>(2 * i + 1)] = source[static_cast<std::size_t>(2 * i)];
    const auto encoded = encode(
        [&](int i) {
            return std::pair{source[static_cast<std::size_t>(2 * i)],
                             source[static_cast<std::size_t>(2 * i + 1)]};
        },
        frames);
    const auto decoded = test::decode_to_float(write(encoded, "delay"));
    ASSERT_FALSE(decoded.empty());
    int best_lag = 0;
    double best = -1.0;
    for (int lag = encoded.delay - 300; lag <= encoded.delay + 300; ++lag) {
        double sum = 0.0;
        for (int i = kRate / 2; i < kRate; ++i)
            sum += static_cast<double>(source[static_cast<std::size_t>(2 * i)]) *
                   decoded[static_cast<std::size_t>(2 * (i + lag))];
        if (sum > best) {
            best = sum;
            best_lag = lag;
        }
    }
    EXPECT_NEAR(best_lag, encoded.delay, 1);
    // Levels, aligned, in the core band (below 5.5 kHz) and the replicated band (6.5 to 15
    // kHz), measured in the analysis filter bank's subbands: the envelope's scale matches the
    // decoder's.
    const auto delay = static_cast<std::size_t>(encoded.delay);
    const auto band_levels = [](const std::vector<float>& interleaved, std::size_t first) {
        QmfAnalysis qmf;
        QmfSlot slot{};
        std::array<float, kQmfBands> samples{};
        double low = 0.0, high = 0.0;
        for (std::size_t s = 0; s < static_cast<std::size_t>(kRate) / kQmfBands; ++s) {
            for (std::size_t n = 0; n < kQmfBands; ++n)
                samples[n] = interleaved[2 * (first + s * kQmfBands + n)];
            qmf.process(samples, slot);
            for (int k = 1; k < 16; ++k) low += std::norm(slot[static_cast<std::size_t>(k)]);
            for (int k = 19; k < 43; ++k) high += std::norm(slot[static_cast<std::size_t>(k)]);
        }
        return std::pair{low, high};
    };
    for (auto& v : source) v /= 32768.0F;
    const auto [source_low, source_high] = band_levels(source, kRate / 4);
    const auto [decoded_low, decoded_high] = band_levels(decoded, kRate / 4 + delay);
    EXPECT_NEAR(db(decoded_low / source_low), 0.0, 0.5);
    EXPECT_NEAR(db(decoded_high / source_high), 0.0, 1.0);
}

// Bursts of high tones over a steady low tone: the replicated band starts and stops with the
// bursts, not a frame early or late.
TEST_F(He2Decode, HighBandFollowsBurstsInTime) {
    const auto burst = [](int i) {
        const double t = static_cast<double>(i) / kRate;
        const bool on = std::fmod(t, 0.25) >= 0.1 && std::fmod(t, 0.25) < 0.14;
        double high = 0.0;
        for (int k = 0; k < 20; ++k)
            high += std::sin(2 * std::numbers::pi * (9000.0 + 150.0 * k) * t + k * k);
        const auto v = static_cast<float>(3000.0 * std::sin(2 * std::numbers::pi * 440.0 * t) +
                                          (on ? 800.0 * high : 0.0));
        return std::pair{v, v};
    };
    const auto encoded = encode(burst, 2 * kRate);
    const auto path = write(encoded, "bursts");
    // The attacks take the variable time grids: both decoders accept them.
    EXPECT_EQ(run("ffmpeg -v error -f aac -i " + path.string() + " -f null -").output, "");
    const auto faad =
        run("faad -q -o " + (m_dir.path() / "bursts.wav").string() + " " + path.string());
    EXPECT_EQ(faad.exit_code, 0);
    EXPECT_EQ(faad.output.find("rror"), std::string::npos) << faad.output;
    const auto decoded = test::decode_to_float(path);
    ASSERT_FALSE(decoded.empty());
    const auto ms = [&](double seconds) {
        return static_cast<std::size_t>(seconds * kRate) + static_cast<std::size_t>(encoded.delay);
    };
    for (int b = 1; b < 7; ++b) {
        const double onset = 0.25 * b + 0.1;
        const double plateau =
            high_band_energy(decoded, 0, ms(onset + 0.012), ms(onset + 0.028)) / 0.016;
        const double before =
            high_band_energy(decoded, 0, ms(onset - 0.040), ms(onset - 0.015)) / 0.025;
        const double after =
            high_band_energy(decoded, 0, ms(onset + 0.058), ms(onset + 0.090)) / 0.032;
        EXPECT_GT(db(plateau / before), 20.0) << "burst " << b;
        EXPECT_GT(db(plateau / after), 20.0) << "burst " << b;
    }
}

TEST_F(He2Decode, BitRateStaysWithinTwoPercentOfTheTarget) {
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0F, 1500.0F);
    for (int bitrate : {24000, 32000, 48000}) {
        const auto encoded = encode(
            [&](int i) {
                return std::pair{multitone(i) + noise(rng), multitone(i, 3) + noise(rng)};
            },
            10 * kRate, bitrate);
        const double seconds = static_cast<double>(encoded.blocks) * kBlock / kRate;
        EXPECT_NEAR(8.0 * static_cast<double>(encoded.payload_bytes) / seconds, bitrate,
                    0.02 * bitrate)
            << bitrate;
    }
}

TEST_F(He2Decode, CommandLineToolEncodesHeAacV2ByDefault) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < kRate; ++i) {
        samples.push_back(static_cast<std::int16_t>(multitone(i)));
        samples.push_back(static_cast<std::int16_t>(multitone(i, 4)));
    }
    const auto wav = m_dir.path() / "tool.wav";
    const auto aac = m_dir.path() / "tool.aac";
    test::write_wav(wav, kRate, 2, samples);
    const auto encoded = run(std::string(HEAAC_ENC_PATH) + " " + wav.string() + " " + aac.string());
    ASSERT_EQ(encoded.exit_code, 0) << encoded.output;
    EXPECT_NE(encoded.output.find("encoder delay: " +
                                  std::to_string(He2Encoder::create({}).encoder->delay_frames())),
              std::string::npos);
    const auto probe =
        run("ffprobe -v error -select_streams a:0 -show_entries stream=profile -of default=nw=1 " +
            aac.string());
    EXPECT_NE(probe.output.find("profile=HE-AACv2"), std::string::npos) << probe.output;
    // A 22050 Hz file is not what the HE-AAC v2 set-up takes.
    test::write_wav(wav, 22050, 2, samples);
    EXPECT_NE(run(std::string(HEAAC_ENC_PATH) + " " + wav.string() + " " + aac.string()).exit_code,
              0);
}

}  // namespace
}  // namespace heaac
