// heaac-enc [--lc|--he2] [--bitrate BPS] [--raw] in.wav out.aac
// Encodes a 16-bit PCM WAV to ADTS (or bare raw access units with --raw): HE-AAC v2 by
// default (44100 Hz input; mono input is taken as centred stereo), AAC-LC with --lc.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "heaac/encoder.h"
#include "heaac/he2_encoder.h"
#include "heaac/wav_reader.h"

namespace {

constexpr int kExitUsage = 2;

struct Options {
    bool he2 = true;
    bool raw = false;
    int bitrate_bps = 0;
    std::string input;
    std::string output;
};

int usage() {
    std::fprintf(stderr, "usage: heaac-enc [--lc|--he2] [--bitrate BPS] [--raw] in.wav out.aac\n");
    return kExitUsage;
}

bool parse_options(int argc, char** argv, Options& options) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--lc") {
            options.he2 = false;
        } else if (arg == "--he2") {
            options.he2 = true;
        } else if (arg == "--raw") {
            options.raw = true;
        } else if (arg == "--bitrate" && i + 1 < argc) {
            options.bitrate_bps = std::atoi(argv[++i]);
        } else if (!arg.empty() && arg[0] == '-') {
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return false;
    options.input = positional[0];
    options.output = positional[1];
    return true;
}

int encode(const Options& options, const heaac::WavAudio& audio) {
    const int bitrate = options.bitrate_bps > 0 ? options.bitrate_bps : 32000 * audio.channels;
    auto created = heaac::Encoder::create({audio.rate_hz, audio.channels, bitrate});
    if (!created.encoder) {
        std::fprintf(stderr, "heaac-enc: %s\n", created.error.c_str());
        return 1;
    }
    auto& encoder = *created.encoder;
    std::ofstream out(options.output, std::ios::binary);
    if (!out) {
        std::fprintf(stderr, "heaac-enc: cannot write %s\n", options.output.c_str());
        return 1;
    }
    const std::size_t frame_values =
        static_cast<std::size_t>(heaac::Encoder::kFrameSamples * audio.channels);
    // One extra frame flushes the samples still held in the transform's overlap.
    const std::size_t total_values =
        audio.samples.size() +
        static_cast<std::size_t>(heaac::Encoder::delay_samples() * audio.channels);
    std::vector<std::int16_t> frame(frame_values);
    for (std::size_t at = 0; at < total_values; at += frame_values) {
        std::fill(frame.begin(), frame.end(), 0);
        if (at < audio.samples.size()) {
            const std::size_t count = std::min(frame_values, audio.samples.size() - at);
            std::copy_n(audio.samples.begin() + static_cast<std::ptrdiff_t>(at), count,
                        frame.begin());
        }
        const auto unit = encoder.encode_frame(frame);
        const auto bytes = options.raw ? unit : encoder.to_adts(unit);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::printf("encoder delay: %d samples\n", heaac::Encoder::delay_samples());
    return out ? 0 : 1;
}

int encode_he2(const Options& options, const heaac::WavAudio& audio) {
    if (audio.rate_hz != heaac::He2Encoder::kInputRateHz || audio.channels > 2) {
        std::fprintf(stderr, "heaac-enc: --he2 takes 44100 Hz mono or stereo input\n");
        return 1;
    }
    auto created =
        heaac::He2Encoder::create({options.bitrate_bps > 0 ? options.bitrate_bps : 32000});
    if (!created.encoder) {
        std::fprintf(stderr, "heaac-enc: %s\n", created.error.c_str());
        return 1;
    }
    auto& encoder = *created.encoder;
    std::ofstream out(options.output, std::ios::binary);
    if (!out) {
        std::fprintf(stderr, "heaac-enc: cannot write %s\n", options.output.c_str());
        return 1;
    }
    const auto channels = static_cast<std::size_t>(audio.channels);
    const std::size_t input_frames = audio.samples.size() / channels;
    // Blocks past the end flush what the encoder still holds back.
    const std::size_t block = heaac::He2Encoder::kInputFrames;
    const std::size_t total_frames =
        input_frames + static_cast<std::size_t>(encoder.delay_frames());
    std::vector<float> stereo(2 * block);
    for (std::size_t at = 0; at < total_frames; at += block) {
        std::fill(stereo.begin(), stereo.end(), 0.0F);
        for (std::size_t i = 0; i < block && at + i < input_frames; ++i) {
            const std::size_t source = (at + i) * channels;
            stereo[2 * i] = audio.samples[source];
            stereo[2 * i + 1] = audio.samples[source + channels - 1];
        }
        const auto frame = encoder.encode(stereo);
        const auto bytes = options.raw ? frame.access_unit : encoder.to_adts(frame.access_unit);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::printf("encoder delay: %d samples\n", encoder.delay_frames());
    return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, options)) return usage();
    std::ifstream in(options.input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "heaac-enc: cannot read %s\n", options.input.c_str());
        return 1;
    }
    // One bulk read: a character-wise iterator costs more than encoding a short clip.
    in.seekg(0, std::ios::end);
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)));
    in.seekg(0, std::ios::beg);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    auto parsed = heaac::parse_wav(bytes);
    if (!parsed.audio) {
        std::fprintf(stderr, "heaac-enc: %s: %s\n", options.input.c_str(), parsed.error.c_str());
        return 1;
    }
    return options.he2 ? encode_he2(options, *parsed.audio) : encode(options, *parsed.audio);
}
