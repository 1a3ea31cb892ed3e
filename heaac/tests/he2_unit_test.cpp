// Unit tests of the HE-AAC v2 stages that have a closed-form answer: code tables, band tables,
// the configuration bytes, the analysis filter bank and the stereo parameters of simple inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "heaac/he2_encoder.h"
#include "heaac/ps_encoder.h"
#include "heaac/ps_hybrid.h"
#include "heaac/sbr_encoder.h"
#include "heaac/sbr_frequency.h"
#include "heaac/sbr_qmf.h"
#include "heaac/sbr_tables.h"

namespace heaac {
namespace {

template <std::size_t N>
std::string prefix_code_problem(const std::array<HuffmanCode, N>& table) {
    // A complete prefix code: Kraft sum exactly one and no code the prefix of another.
    double kraft = 0.0;
    for (const auto& c : table) {
        if (c.length == 0 || c.length > 24 || c.code >> c.length) return "bad length or code";
        kraft += std::ldexp(1.0, -c.length);
    }
    if (kraft != 1.0) return "Kraft sum " + std::to_string(kraft);
    for (std::size_t a = 0; a < N; ++a) {
        for (std::size_t b = 0; b < N; ++b) {
            if (a == b || table[a].length > table[b].length) continue;
            if ((table[b].code >> (table[b].length - table[a].length)) == table[a].code)
                return "prefix at " + std::to_string(a);
        }
    }
    return "";
}

TEST(He2Tables, EveryHuffmanTableIsACompletePrefixCode) {
    EXPECT_EQ(prefix_code_problem(kEnvelopeTime15), "");
    EXPECT_EQ(prefix_code_problem(kEnvelopeFreq15), "");
    EXPECT_EQ(prefix_code_problem(kEnvelopeTime30), "");
    EXPECT_EQ(prefix_code_problem(kEnvelopeFreq30), "");
    EXPECT_EQ(prefix_code_problem(kNoiseTime30), "");
    EXPECT_EQ(prefix_code_problem(kIidFreqCoarse), "");
    EXPECT_EQ(prefix_code_problem(kIidTimeCoarse), "");
    EXPECT_EQ(prefix_code_problem(kIccFreq), "");
    EXPECT_EQ(prefix_code_problem(kIccTime), "");
    // Zero deltas are the most frequent symbols: the shortest codes sit in the middle.
    EXPECT_EQ(kEnvelopeTime30[31].length, 1);
    EXPECT_EQ(kIidFreqCoarse[14].length, 1);
    EXPECT_EQ(kIccTime[7].length, 1);
}

TEST(He2Bands, DerivesTheTwoRegionMasterTable) {
    // bs_start_freq 8, bs_stop_freq 9 at 44100 Hz: k0 = 12 + 5, k2 = 47; 10 bands per octave
    // from 17 to 34, then 4 warped bands to 47 (worked by hand from the derivation rules).
    SbrBandParams params;
    params.start_freq = 8;
    params.stop_freq = 9;
    const auto bands = derive_sbr_bands(44100, params);
    ASSERT_TRUE(bands);
    EXPECT_EQ(bands->master,
              (std::vector<int>{17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 34, 37, 40, 43, 47}));
    EXPECT_EQ(bands->kx, 17);
    EXPECT_EQ(bands->high, bands->master);
    // Odd/even rule for the low table: 14 high bands give 7 low bands on every second border.
    EXPECT_EQ(bands->low, (std::vector<int>{17, 19, 22, 26, 30, 34, 40, 47}));
    // Two noise bands per octave over log2(47 / 17) = 1.47 octaves round to 3, spread over
    // the low table's 7 bands as 2, 2 and 3.
    EXPECT_EQ(bands->noise, (std::vector<int>{17, 22, 30, 47}));
}

TEST(He2Bands, RefusesTablesTheDecoderRejects) {
    struct Case {
        int start, stop;
        bool valid;
    };
    // Spans over 35 bands at 44100 Hz and out-of-range fields are invalid.
    for (const Case c : {Case{8, 9, true}, Case{3, 15, true}, Case{0, 13, false},
                         Case{16, 9, false}, Case{5, 16, false}}) {
        SbrBandParams params;
        params.start_freq = c.start;
        params.stop_freq = c.stop;
        const auto bands = derive_sbr_bands(44100, params);
        EXPECT_EQ(bands.has_value(), c.valid) << c.start << "/" << c.stop;
        if (bands) {
            EXPECT_LE(bands->k2 - bands->k0, 35);
            EXPECT_LE(bands->noise_count(), 5);
            EXPECT_TRUE(std::is_sorted(bands->master.begin(), bands->master.end()));
        }
    }
}

TEST(He2Encoder, AudioSpecificConfigSignalsSbrOverA22050HzMonoCore) {
    const auto created = He2Encoder::create({});
    ASSERT_TRUE(created.encoder) << created.error;
    EXPECT_EQ(created.encoder->audio_specific_config(),
              (std::vector<std::uint8_t>{0x2B, 0x8A, 0x08, 0x00}));
}

TEST(He2Encoder, AcceptsTheTunedBitRatesOnly) {
    for (int bitrate : {24000, 28000, 32000, 36000, 40000, 48000})
        EXPECT_TRUE(He2Encoder::create({bitrate}).encoder) << bitrate;
    for (int bitrate : {0, 23999, 48001, 128000}) {
        const auto created = He2Encoder::create({bitrate});
        EXPECT_FALSE(created.encoder) << bitrate;
        EXPECT_NE(created.error.find("bit rate"), std::string::npos);
    }
}

TEST(He2Encoder, CarriesTheSbrPayloadInsideEveryAccessUnit) {
    auto encoder = He2Encoder::create({}).encoder;
    std::vector<float> block(2 * He2Encoder::kInputFrames);
    for (int frame = 0; frame < 8; ++frame) {
        for (int i = 0; i < He2Encoder::kInputFrames; ++i) {
            const double t = (frame * He2Encoder::kInputFrames + i) / 44100.0;
            block[static_cast<std::size_t>(2 * i)] =
                static_cast<float>(8000.0 * std::sin(2 * std::numbers::pi * 9000.0 * t));
            block[static_cast<std::size_t>(2 * i + 1)] =
                static_cast<float>(4000.0 * std::sin(2 * std::numbers::pi * 700.0 * t));
        }
        const auto coded = encoder->encode(block);
        EXPECT_GT(coded.ancillary_bytes, 0);
        EXPECT_LT(coded.ancillary_bytes, static_cast<int>(coded.access_unit.size()));
    }
}

TEST(He2Qmf, ATonePeaksInItsBandWithAQuarterOfItsSquaredAmplitude) {
    QmfAnalysis qmf;
    QmfSlot slot{};
    constexpr int kBand = 20;
    const double frequency = (kBand + 0.5) * 44100.0 / 128.0;
    std::array<float, kQmfBands> samples{};
    double in_band = 0.0, neighbours = 0.0;
    for (int s = 0; s < 40; ++s) {
        for (int n = 0; n < kQmfBands; ++n)
            samples[static_cast<std::size_t>(n)] =
                static_cast<float>(1000.0 * std::cos(2 * std::numbers::pi * frequency *
                                                     (s * kQmfBands + n) / 44100.0));
        qmf.process(samples, slot);
        if (s < 20) continue;  // past the prototype's length
        in_band += std::norm(slot[kBand]);
        neighbours += std::norm(slot[kBand - 2]) + std::norm(slot[kBand + 2]);
    }
    EXPECT_NEAR(in_band / 20, 1000.0 * 1000.0 / 4, 0.01 * 1000.0 * 1000.0 / 4);
    EXPECT_LT(neighbours, 1e-6 * in_band);
}

// Stereo parameters of simple inputs: a channel alone gives the extreme level difference and a
// copy gives none, both fully coherent; inverted copies are anti-coherent.
TEST(He2Ps, QuantisesLevelDifferenceAndCoherence) {
    struct Case {
        const char* name;
        float left_gain, right_gain;
        int iid, icc;
    };
    const Case cases[] = {{"left only", 1.0F, 0.0F, 7, 0},
                          {"right only", 0.0F, 1.0F, -7, 0},
                          {"centre", 1.0F, 1.0F, 0, 0},
                          {"4 dB left", 1.0F, 0.631F, 2, 0},
                          {"inverted", 1.0F, -1.0F, 0, 7}};
    for (const auto& c : cases) {
        QmfAnalysis qmf;
        PsEncoder ps;
        std::vector<QmfSlot> left, right;
        std::array<float, kQmfBands> samples{};
        std::uint32_t lcg_state = 1;
        for (int s = 0; s < 32 + 2 * kHybridMarginSlots + 10; ++s) {
            for (auto& v : samples) {
                lcg_state = lcg_state * 1664525U + 1013904223U;
                v = static_cast<float>(static_cast<std::int32_t>(lcg_state) >> 16);
            }
            QmfSlot slot{};
            qmf.process(samples, slot);
            if (s < 10) continue;
            QmfSlot l{}, r{};
            for (int k = 0; k < kQmfBands; ++k) {
                l[static_cast<std::size_t>(k)] = c.left_gain * slot[static_cast<std::size_t>(k)];
                r[static_cast<std::size_t>(k)] = c.right_gain * slot[static_cast<std::size_t>(k)];
            }
            left.push_back(l);
            right.push_back(r);
        }
        (void)ps.encode_frame(left, right);
        for (int b = 0; b < kPsBands; ++b) {
            EXPECT_EQ(ps.iid_indices()[static_cast<std::size_t>(b)], c.iid)
                << c.name << " band " << b;
            EXPECT_EQ(ps.icc_indices()[static_cast<std::size_t>(b)], c.icc)
                << c.name << " band " << b;
        }
    }
}

// Runs the SBR analysis over `frames` frames of a 44100 Hz signal and returns what it chose
// for each frame.
std::vector<SbrFrameData> analyse_sbr(const std::function<float(int)>& signal, int frames) {
    SbrTuning tuning;
    tuning.header.bands.start_freq = 8;
    tuning.header.bands.stop_freq = 10;
    auto sbr = SbrEncoder::create(tuning);
    EXPECT_TRUE(sbr);
    QmfAnalysis qmf;
    std::vector<QmfSlot> slots;
    std::vector<EnergySlot> energy;
    std::array<float, kQmfBands> samples{};
    const int total_slots = frames * kSbrFrameSlots + SbrEncoder::kLookaheadSlots;
    for (int s = 0; s < total_slots; ++s) {
        for (int n = 0; n < kQmfBands; ++n)
            samples[static_cast<std::size_t>(n)] = signal(s * kQmfBands + n);
        QmfSlot slot{};
        qmf.process(samples, slot);
        EnergySlot e{};
        for (int k = 0; k < kQmfBands; ++k)
            e[static_cast<std::size_t>(k)] = std::norm(slot[static_cast<std::size_t>(k)]);
        slots.push_back(slot);
        energy.push_back(e);
    }
    std::vector<SbrFrameData> chosen;
    const std::size_t count = kSbrFrameSlots + SbrEncoder::kLookaheadSlots;
    for (int f = 0; f < frames; ++f) {
        const auto first = static_cast<std::size_t>(f * kSbrFrameSlots);
        const auto payload =
            sbr->encode_frame(std::span<const EnergySlot>(energy).subspan(first, count),
                              std::span<const QmfSlot>(slots).subspan(first, count), BitWriter{});
        EXPECT_FALSE(payload.empty());
        chosen.push_back(sbr->last_frame());
    }
    return chosen;
}

float noise_sample(int index) {
    std::uint32_t x = static_cast<std::uint32_t>(index) * 2654435761U + 12345U;
    x ^= x >> 13;
    x *= 0x5bd1e995U;
    x ^= x >> 15;
    return static_cast<float>(static_cast<std::int32_t>(x) >> 16) / 8.0F;
}

TEST(He2Sbr, SteadyNoiseTakesOneEnvelopeAndAFullNoiseFloor) {
    const auto frames = analyse_sbr(noise_sample, 8);
    for (std::size_t f = 2; f < frames.size(); ++f) {
        EXPECT_EQ(frames[f].envelope_count, 1) << f;
        EXPECT_TRUE(std::all_of(frames[f].add_harmonic.begin(), frames[f].add_harmonic.end(),
                                [](std::uint8_t h) { return h == 0; }));
        // Unpredictable subbands: noise at least as strong as the tonal part (value 6 or less).
        EXPECT_LE(frames[f].noise[0][0], 6) << f;
    }
}

TEST(He2Sbr, AnAttackInsideAFrameGetsABorderAtIt) {
    // Silence, then noise from sample 1100 of frame 4 on: in the analysis' own time (its
    // prototype centres 4 slots back) that is slot 21, time slot 10.
    const int onset = 4 * 2048 + 1100;
    const auto frames = analyse_sbr([&](int i) { return i < onset ? 0.0F : noise_sample(i); }, 6);
    const auto& frame = frames[4];
    EXPECT_NE(frame.frame_class, SbrFrameClass::kFixFix);
    ASSERT_GT(frame.pointer, 0);
    // The transient's envelope starts within one time slot pair of the attack and carries
    // far more energy than the envelope before it (values in 3 dB steps).
    const int transient = frame.frame_class == SbrFrameClass::kVarFix
                              ? frame.pointer - 1
                              : frame.envelope_count + 1 - frame.pointer;
    ASSERT_GT(transient, 0);
    EXPECT_NEAR(frame.borders[static_cast<std::size_t>(transient)], 10, 2);
    EXPECT_LT(frame.envelope[static_cast<std::size_t>(transient) - 1][2] + 10,
              frame.envelope[static_cast<std::size_t>(transient)][2]);
    // Steady frames before and after keep plain equal envelopes.
    EXPECT_EQ(frames[2].frame_class, SbrFrameClass::kFixFix);
}

TEST(He2Sbr, ASteadyHighToneGetsAnAddedSineInItsBand) {
    constexpr double kToneHz = 10000.0;
    const auto frames = analyse_sbr(
        [](int i) {
            return 3000.0F *
                       static_cast<float>(std::sin(2 * std::numbers::pi * kToneHz * i / 44100.0)) +
                   0.01F * noise_sample(i);
        },
        8);
    SbrBandParams params;
    params.start_freq = 8;
    params.stop_freq = 10;
    const auto bands = *derive_sbr_bands(44100, params);
    const int subband = static_cast<int>(kToneHz / (44100.0 / 128));
    int tone_band = 0;
    while (bands.high[static_cast<std::size_t>(tone_band) + 1] <= subband) ++tone_band;
    for (std::size_t f = 2; f < frames.size(); ++f) {
        for (int b = 0; b < bands.high_count(); ++b)
            EXPECT_EQ(frames[f].add_harmonic[static_cast<std::size_t>(b)], b == tone_band ? 1 : 0)
                << f << " " << b;
    }
}

}  // namespace
}  // namespace heaac
