#include "external/audio/tests/test_media.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "external/audio/tests/audio_test_support.h"

namespace nb::external::audio::testing {
namespace {

const std::string kStereoTone =
    "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t)|0.5*sin(2*PI*1000*t):s=44100:d=2' ";

}  // namespace

const std::string kFfmpegQuiet = "ffmpeg -hide_banner -loglevel error -y ";

TestMedia& TestMedia::Get() {
    static TestMedia media;
    return media;
}

std::string TestMedia::Path(const std::string& name) {
    TestMedia& media = Get();
    const std::string path = media.m_folder / name;
    if (media.m_made.insert(name).second) media.Make(name);
    return path;
}

std::string TestMedia::Make(const std::string& name) {
    const std::string path = m_folder / name;
    const std::string& ffmpeg = kFfmpegQuiet;
    if (name == "tone.mp3") Tool(ffmpeg + kStereoTone + "-c:a libmp3lame -b:a 192k", path);
    if (name == "tone.wma") Tool(ffmpeg + kStereoTone + "-c:a wmav2 -b:a 128k", path);
    if (name == "tone.ogg") Tool(ffmpeg + kStereoTone + "-c:a libvorbis -q:a 5", path);
    if (name == "tone.flac") Tool(ffmpeg + kStereoTone + "-c:a flac", path);
    if (name == "mono_22050.wav")
        Tool("sox -n -r 22050 -c 1 -b 16", path, "synth 2 sine 440 vol 0.5");
    if (name == "stereo_48000.wav")
        Tool("sox -n -r 48000 -c 2 -b 16", path, "synth 2 sine 440 sine 1000 vol 0.5");
    if (name == "stereo_24bit.wav")
        Tool("sox -n -r 44100 -c 2 -b 24", path, "synth 2 sine 440 sine 1000 vol 0.5");
    if (name == "surround_5_1.wav") {
        Tool(ffmpeg +
                 "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t)|0.5*sin(2*PI*1000*t)|0|0|0|0:"
                 "s=48000:d=2:c=5.1'",
             path);
    }
    // Video, then 440 Hz, then 1000 Hz: the last audio stream is the one.
    if (name == "video_two_audio.mkv") {
        Tool(ffmpeg +
                 "-f lavfi -i testsrc=size=160x120:rate=10:d=2 "
                 "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t):s=44100:d=2' "
                 "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*1000*t):s=44100:d=2' "
                 "-map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -b:a 192k",
             path);
    }
    if (name == "video_only.mkv")
        Tool(ffmpeg + "-f lavfi -i testsrc=size=160x120:rate=10:d=1 -c:v mpeg4", path);
    // A decoder FFmpeg keeps behind its experimental switch cannot be opened.
    if (name == "experimental.mkv")
        Tool(ffmpeg + "-f lavfi -i sine=d=1 -c:a sonicls -strict -2", path);
    if (name == "cut_in_half.mp3" || name == "damaged.mp3")
        Damage(Path("tone.mp3"), m_folder / "cut_in_half.mp3", m_folder / "damaged.mp3");
    if (name == "random.bin") Noise(path);
    if (name == "text.mp3") std::ofstream(path) << "This is a text file, not MPEG audio.\n";
    // A format tag nothing knows, and more channels than any converter takes.
    if (name == "unknown_codec.wav") WaveOfFormat(path, 0x3412, 2);
    if (name == "hundred_channels.wav") WaveOfFormat(path, 1, 100);
    EXPECT_TRUE(std::filesystem::exists(path)) << name;
    return path;
}

void TestMedia::Tool(const std::string& command_before_path, const std::string& path,
                     const std::string& command_after_path) {
    EXPECT_TRUE(RunTool(command_before_path + " '" + path + "' " + command_after_path)) << path;
}

void TestMedia::Damage(const std::string& source, const std::string& cut,
                       const std::string& damaged) {
    const auto size = std::filesystem::file_size(source);
    std::filesystem::copy_file(source, cut, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(cut, size / 2);
    // Random bytes over a stretch after the first 0.8 seconds.
    std::filesystem::copy_file(source, damaged, std::filesystem::copy_options::overwrite_existing);
    std::mt19937 random(7);
    std::fstream file(damaged, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<long>(size * 2 / 5));
    for (int i = 0; i < 3000; ++i) file.put(static_cast<char>(random()));
    m_made.insert({"cut_in_half.mp3", "damaged.mp3"});
}

void TestMedia::Noise(const std::string& path) {
    std::mt19937 random(11);
    std::ofstream noise(path, std::ios::binary);
    for (int i = 0; i < 65536; ++i) noise.put(static_cast<char>(random()));
}

// Silence in 16-bit samples at 8000 Hz behind a header of any format tag and
// channel count, so not a canonical wave file.
void TestMedia::WaveOfFormat(const std::string& path, std::uint16_t format_tag,
                             std::uint16_t channels) {
    const std::uint32_t rate_hz = 8000, data_bytes = 8000u * channels * 2 / 10;
    auto header = MakeWaveHeader(data_bytes, rate_hz, channels);
    header[20] = static_cast<std::uint8_t>(format_tag);
    header[21] = static_cast<std::uint8_t>(format_tag >> 8);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(header.data()), header.size());
    file << std::string(data_bytes, '\0');
}

}  // namespace nb::external::audio::testing
