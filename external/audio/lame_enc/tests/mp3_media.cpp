#include "external/audio/lame_enc/tests/mp3_media.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "external/audio/wave_file.h"

namespace nb::audio_testing {
namespace {

constexpr double kRateHz = 44100;
constexpr double kFullScale = 32768;

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct PipeCloser {
    void operator()(FILE* pipe) const { pclose(pipe); }
};

// Standard output of a shell command line, as bytes.
std::string Capture(const std::string& command) {
    std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    std::string output;
    if (!pipe) return output;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, got);
    return output;
}

bool IsCanonicalWave(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    const external::audio::WaveHeaderCheck header = external::audio::CheckWaveHeader(bytes);
    return header.status == external::audio::WaveHeaderStatus::Accepted &&
           header.data_bytes + external::audio::kWaveHeaderBytes == bytes.size();
}

// Where the signal rises through zero, between two samples, in samples.
std::vector<double> RisingCrossings(const std::vector<std::int16_t>& stereo, int channel,
                                    std::size_t first_frame, std::size_t end_frame) {
    std::vector<double> crossings;
    for (std::size_t frame = first_frame + 1; frame < end_frame; ++frame) {
        const double before = stereo[2 * (frame - 1) + channel];
        const double after = stereo[2 * frame + channel];
        if (before < 0 && after >= 0)
            crossings.push_back(static_cast<double>(frame - 1) + before / (before - after));
    }
    return crossings;
}

}  // namespace

bool MakeSineWave(const std::string& path, double seconds, double frequency_hz, double amplitude) {
    // One expression per channel: a mono source spread to stereo by ffmpeg
    // would lose 3 dB. -bitexact keeps ffmpeg from adding a LIST chunk, so
    // the header is the canonical 44 bytes.
    const std::string sine =
        std::to_string(amplitude) + "*sin(2*PI*" + std::to_string(frequency_hz) + "*t)";
    const std::string command = "ffmpeg -v error -y -f lavfi -i 'aevalsrc=" + sine + "|" + sine +
                                ":s=44100:d=" + std::to_string(seconds) +
                                "' -c:a pcm_s16le -bitexact -f wav " + Quoted(path) + " 2>&1";
    return std::system(command.c_str()) == 0 && IsCanonicalWave(path);
}

std::vector<std::int16_t> DecodeToStereo(const std::string& path) {
    const std::string bytes = Capture("ffmpeg -v error -i " + Quoted(path) +
                                      " -f s16le -c:a pcm_s16le -ac 2 -ar 44100 -");
    std::vector<std::int16_t> samples(bytes.size() / sizeof(std::int16_t));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(std::int16_t));
    return samples;
}

ToneMeasure MeasureTone(const std::vector<std::int16_t>& stereo, int channel) {
    const std::size_t frames = stereo.size() / 2;
    const std::size_t first = frames / 10;
    const std::size_t end = frames - frames / 10;
    ToneMeasure measure;
    if (end <= first + 1) return measure;
    double sum_of_squares = 0;
    for (std::size_t frame = first; frame < end; ++frame) {
        const double value = stereo[2 * frame + channel];
        sum_of_squares += value * value;
    }
    const double rms = std::sqrt(sum_of_squares / static_cast<double>(end - first));
    if (rms > 0) measure.level_dbfs = 20 * std::log10(rms / kFullScale);
    const std::vector<double> crossings = RisingCrossings(stereo, channel, first, end);
    if (crossings.size() >= 2) {
        const double span_samples = crossings.back() - crossings.front();
        measure.frequency_hz = static_cast<double>(crossings.size() - 1) * kRateHz / span_samples;
    }
    return measure;
}

std::map<std::string, std::string> Probe(const std::string& path) {
    const std::string text = Capture(
        "ffprobe -v error -select_streams a:0 -show_entries "
        "stream=codec_name,sample_rate,channels,channel_layout,bit_rate,duration:"
        "format=duration,bit_rate -of flat " +
        Quoted(path));
    // Lines like: streams.stream.0.duration="5.041633" or format.bit_rate="96517"
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        if (key.starts_with("streams.stream.0.")) key = "stream." + key.substr(17);
        if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
        fields[key] = value;
    }
    return fields;
}

std::string MediaInfo(const std::string& path, const std::string& inform) {
    std::string text = Capture("mediainfo --Inform=" + Quoted(inform) + " " + Quoted(path));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>());
}

}  // namespace nb::audio_testing
