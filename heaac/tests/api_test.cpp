// The encoder's interface for SBR and parametric stereo on top of the core: float input, a
// coded bandwidth limit and an extension payload carried in a fill element.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "heaac/encoder.h"
#include "test_support.h"

namespace heaac {
namespace {

namespace fs = std::filesystem;

constexpr int kFrame = Encoder::kFrameSamples;

// Tones over a pseudo-random noise floor, 16-bit scale, interleaved.
std::vector<float> music_like(int rate_hz, int channels, int frames) {
    std::vector<float> samples;
    std::uint32_t lcg_state = 12345;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            lcg_state = lcg_state * 1664525U + 1013904223U;
            const double noise = (static_cast<double>(lcg_state >> 8) / (1 << 24) - 0.5) * 3000.0;
            const double t = static_cast<double>(i) / rate_hz;
            const double tones = 6000.0 * std::sin(2 * std::numbers::pi * 440.0 * t) +
                                 3000.0 * std::sin(2 * std::numbers::pi * (1250.0 + 300 * c) * t) +
                                 1500.0 * std::sin(2 * std::numbers::pi * 7000.0 * t);
            samples.push_back(static_cast<float>(
                std::round(tones + noise)));  // integral, so int16 holds it exactly
        }
    }
    return samples;
}

// EXT_FILL_DATA: extension_type 0001, fill_nibble 0000, then fill bytes 10100101.
std::vector<std::uint8_t> fill_data_payload(int bytes) {
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(bytes), 0xA5);
    payload[0] = 0x10;
    return payload;
}

bool bit_at(const std::vector<std::uint8_t>& bytes, std::size_t bit) {
    return ((bytes[bit / 8] >> (7 - bit % 8)) & 1U) != 0;
}

std::uint32_t bits_at(const std::vector<std::uint8_t>& bytes, std::size_t bit, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 1) | (bit_at(bytes, bit + static_cast<std::size_t>(i)) ? 1U : 0U);
    return value;
}

// Bit position where `pattern` (a bit string) starts in `unit`, or -1.
long find_bits(const std::vector<std::uint8_t>& unit, const std::vector<bool>& pattern) {
    const std::size_t total = unit.size() * 8;
    for (std::size_t start = 0; start + pattern.size() <= total; ++start) {
        std::size_t i = 0;
        while (i < pattern.size() && bit_at(unit, start + i) == pattern[i]) ++i;
        if (i == pattern.size()) return static_cast<long>(start);
    }
    return -1;
}

// The fill element as it must appear: ID_FIL, count (and esc_count), the payload bytes.
std::vector<bool> fill_element_bits(const std::vector<std::uint8_t>& payload) {
    std::vector<bool> bits;
    const auto push = [&](std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bits.push_back(((value >> i) & 1U) != 0);
    };
    push(6, 3);
    if (payload.size() >= 15) {
        push(15, 4);
        push(static_cast<std::uint32_t>(payload.size() - 14), 8);
    } else {
        push(static_cast<std::uint32_t>(payload.size()), 4);
    }
    for (auto byte : payload) push(byte, 8);
    return bits;
}

struct PayloadSetup {
    const char* name;
    int rate_hz;
    int channels;
    int bitrate_bps;
};

class FillPayload : public ::testing::TestWithParam<PayloadSetup> {};

// Payloads of 1 to 60 bytes (both count forms) land after the channel element(s), followed by
// another fill element or ID_END; the stream decodes cleanly with FFmpeg and faad, and the
// bit rate, payload included, stays within 2% of the target.
TEST_P(FillPayload, ComesAfterTheChannelElementsAndCountsAgainstTheBudget) {
    const PayloadSetup& setup = GetParam();
    auto created = Encoder::create({setup.rate_hz, setup.channels, setup.bitrate_bps});
    ASSERT_NE(created.encoder, nullptr) << created.error;
    auto& encoder = *created.encoder;
    const int frames = 200;
    const auto samples = music_like(setup.rate_hz, setup.channels, frames * kFrame);
    test::ScratchDir dir(std::string("fill_payload_") + setup.name);
    const auto adts_path = dir.path() / "out.aac";
    std::ofstream out(adts_path, std::ios::binary);
    std::int64_t unit_bits = 0;
    for (int f = 0; f < frames; ++f) {
        const auto payload = fill_data_payload(1 + f % 60);
        const std::span<const float> frame(
            samples.data() + static_cast<std::ptrdiff_t>(f) * kFrame * setup.channels,
            static_cast<std::size_t>(kFrame * setup.channels));
        const auto unit = encoder.encode_frame(frame, payload);
        unit_bits += static_cast<std::int64_t>(unit.size()) * 8;
        if (payload.size() >=
            8) {  // shorter ones may repeat by chance; the decoders check them too
            const auto pattern = fill_element_bits(payload);
            const long at = find_bits(unit, pattern);
            ASSERT_GT(at, 0) << "frame " << f;
            const auto next_id = bits_at(unit, static_cast<std::size_t>(at) + pattern.size(), 3);
            EXPECT_TRUE(next_id == 6 || next_id == 7)
                << "frame " << f << " next element " << next_id;
        }
        const auto adts = encoder.to_adts(unit);
        out.write(reinterpret_cast<const char*>(adts.data()),
                  static_cast<std::streamsize>(adts.size()));
    }
    out.close();
    const double seconds = static_cast<double>(frames) * kFrame / setup.rate_hz;
    EXPECT_NEAR(static_cast<double>(unit_bits) / seconds, setup.bitrate_bps,
                0.02 * setup.bitrate_bps);

    const auto ffmpeg = test::run("ffmpeg -v error -f aac -i " + adts_path.string() + " -f null -");
    EXPECT_EQ(ffmpeg.exit_code, 0);
    EXPECT_EQ(ffmpeg.output, "");
    const auto faad =
        test::run("faad -q -o " + (dir.path() / "faad.wav").string() + " " + adts_path.string());
    EXPECT_EQ(faad.exit_code, 0) << faad.output;
    EXPECT_EQ(faad.output.find("rror"), std::string::npos) << faad.output;
    EXPECT_EQ(faad.output.find("arning"), std::string::npos) << faad.output;
}

INSTANTIATE_TEST_SUITE_P(Setups, FillPayload,
                         ::testing::Values(PayloadSetup{"mono_22050_24k", 22050, 1, 24000},
                                           PayloadSetup{"mono_22050_16k", 22050, 1, 16000},
                                           PayloadSetup{"stereo_44100_64k", 44100, 2, 64000}),
                         [](const ::testing::TestParamInfo<PayloadSetup>& param_info) {
                             return std::string(param_info.param.name);
                         });

TEST(EncoderApi, FloatAndInt16InputGiveTheSameStream) {
    auto a = Encoder::create({44100, 2, 64000}).encoder;
    auto b = Encoder::create({44100, 2, 64000}).encoder;
    const auto samples = music_like(44100, 2, 20 * kFrame);
    for (int f = 0; f < 20; ++f) {
        const std::span<const float> frame(
            samples.data() + static_cast<std::ptrdiff_t>(f) * kFrame * 2,
            static_cast<std::size_t>(kFrame * 2));
        std::vector<std::int16_t> ints(frame.begin(), frame.end());
        ASSERT_EQ(a->encode_frame(frame), b->encode_frame(ints)) << "frame " << f;
    }
}

TEST(EncoderApi, OversizedPayloadIsLeftOut) {
    auto encoder = Encoder::create({22050, 1, 24000}).encoder;
    std::vector<float> silence(kFrame, 0.0F);
    const auto plain = encoder->encode_frame(silence);
    const auto unit =
        encoder->encode_frame(silence, fill_data_payload(Encoder::kMaxFillPayloadBytes + 1));
    EXPECT_LT(unit.size(), 60U);
    EXPECT_GE(plain.size(), 1U);
}

// With bandwidth_hz set, the decoded spectrum ends there: the band above holds nothing.
TEST(EncoderApi, BandwidthLimitCutsTheCodedSpectrum) {
    const int rate = 22050;
    const int frames = 60;
    EncoderConfig config{rate, 1, 32000};
    config.bandwidth_hz = 5000;
    auto encoder = Encoder::create(config).encoder;
    ASSERT_NE(encoder, nullptr);
    test::ScratchDir dir("bandwidth_limit");
    const auto adts_path = dir.path() / "out.aac";
    {
        std::ofstream out(adts_path, std::ios::binary);
        const auto samples = music_like(rate, 1, frames * kFrame);
        for (int f = 0; f < frames; ++f) {
            const auto adts = encoder->to_adts(encoder->encode_frame(std::span<const float>(
                samples.data() + static_cast<std::ptrdiff_t>(f) * kFrame, kFrame)));
            out.write(reinterpret_cast<const char*>(adts.data()),
                      static_cast<std::streamsize>(adts.size()));
        }
    }
    const auto decoded = test::decode_to_float(adts_path);
    ASSERT_GE(decoded.size(), static_cast<std::size_t>(frames * kFrame));
    // Hann-windowed DFT power over one second in the middle.
    const auto band_power = [&](double from_hz, double to_hz) {
        const int first = 10 * kFrame;
        const int count = 8192;
        double total = 0.0;
        for (double f = from_hz; f < to_hz; f += 50.0) {
            double re = 0.0, im = 0.0;
            for (int n = 0; n < count; ++n) {
                const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / count);
                const double phase = 2 * std::numbers::pi * f * n / rate;
                re += decoded[static_cast<std::size_t>(first + n)] * w * std::cos(phase);
                im -= decoded[static_cast<std::size_t>(first + n)] * w * std::sin(phase);
            }
            total += re * re + im * im;
        }
        return total;
    };
    const double below = band_power(500.0, 4500.0);
    const double above = band_power(5500.0, 10000.0);  // holds the 7 kHz tone in the input
    EXPECT_LT(above, below * 1e-5) << "above " << above << " below " << below;
}

// Noise above 4 kHz goes mostly as noise substitution; the decoded level there stays within
// 1.5 dB of the input's, as it does below.
TEST(NoiseSubstitution, KeepsTheLevelOfNoise) {
    const int rate = 22050;
    const int frames = 60;
    auto encoder = Encoder::create({rate, 1, 24000}).encoder;
    test::ScratchDir dir("noise_level");
    const auto adts_path = dir.path() / "out.aac";
    std::vector<float> samples;
    std::uint32_t lcg_state = 777;
    for (int i = 0; i < frames * kFrame; ++i) {
        lcg_state = lcg_state * 1664525U + 1013904223U;
        samples.push_back(static_cast<float>(
            std::round((static_cast<double>(lcg_state >> 8) / (1 << 24) - 0.5) * 8000.0)));
    }
    {
        std::ofstream out(adts_path, std::ios::binary);
        for (int f = 0; f < frames; ++f) {
            const auto adts = encoder->to_adts(encoder->encode_frame(std::span<const float>(
                samples.data() + static_cast<std::ptrdiff_t>(f) * kFrame, kFrame)));
            out.write(reinterpret_cast<const char*>(adts.data()),
                      static_cast<std::streamsize>(adts.size()));
        }
    }
    const auto decoded = test::decode_to_float(adts_path);
    ASSERT_GE(decoded.size(), static_cast<std::size_t>(frames * kFrame));
    // Power between two frequencies over 16 blocks of 1024 (decoded: delayed by 2048, full scale
    // 1).
    const auto band_power = [&](const auto& signal, int first, double scale, double from_hz,
                                double to_hz) {
        double total = 0.0;
        for (int block = 0; block < 16; ++block) {
            for (double f = from_hz; f < to_hz; f += rate / 1024.0) {
                double re = 0.0, im = 0.0;
                for (int n = 0; n < 1024; ++n) {
                    const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / 1024);
                    const double x =
                        scale * signal[static_cast<std::size_t>(first + block * 1024 + n)] * w;
                    re += x * std::cos(2 * std::numbers::pi * f * n / rate);
                    im -= x * std::sin(2 * std::numbers::pi * f * n / rate);
                }
                total += re * re + im * im;
            }
        }
        return total;
    };
    for (const auto& [from, to] : {std::pair{500.0, 3500.0}, std::pair{5000.0, 10000.0}}) {
        const double in = band_power(samples, 10 * kFrame, 1.0, from, to);
        const double out = band_power(decoded, 10 * kFrame + 2048, 32768.0, from, to);
        EXPECT_NEAR(10.0 * std::log10(out / in), 0.0, 1.5) << from << " to " << to << " Hz";
    }
}

// The mean frame must fit the decoder buffer of 6144 bits per channel with room to spare.
TEST(EncoderApi, BitRatesBeyondTheDecoderBufferAreRefused) {
    EXPECT_NE(Encoder::create({22050, 1, 110000}).encoder, nullptr);
    EXPECT_EQ(Encoder::create({22050, 1, 111000}).encoder, nullptr);
    EXPECT_NE(Encoder::create({44100, 2, 440000}).encoder, nullptr);
    EXPECT_EQ(Encoder::create({44100, 2, 442000}).encoder, nullptr);
    EXPECT_EQ(Encoder::create({48000, 2, 640000}).encoder, nullptr);
}

TEST(EncoderApi, NegativeBandwidthIsRefused) {
    EncoderConfig config{22050, 1, 24000};
    config.bandwidth_hz = -1;
    EXPECT_EQ(Encoder::create(config).encoder, nullptr);
}

}  // namespace
}  // namespace heaac
