// Test media made and examined with the ffmpeg, ffprobe and mediainfo
// command lines: a canonical wave file holding a sine, the sound of an MP3
// file decoded back, what the probes say about it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace nb::audio_testing {

// Writes a canonical wave file (44-byte header, 44100 Hz, 16-bit stereo)
// holding a sine of frequency_hz at amplitude (of full scale) in both
// channels; false when ffmpeg fails or its file is not canonical.
[[nodiscard]] bool MakeSineWave(const std::string& path, double seconds, double frequency_hz,
                                double amplitude);

// The file's sound decoded by ffmpeg to interleaved 16-bit stereo at 44100 Hz.
std::vector<std::int16_t> DecodeToStereo(const std::string& path);

struct ToneMeasure {
    double frequency_hz = 0;
    double level_dbfs = -200;  // root mean square against full scale
};
// One channel (0 left, 1 right) of interleaved stereo, measured over its
// middle, leaving out the edges where an encoder's delay and padding sit.
ToneMeasure MeasureTone(const std::vector<std::int16_t>& stereo, int channel);

// ffprobe's fields of the first audio stream ("stream.<field>") and of the
// container ("format.<field>"), values without quotes.
std::map<std::string, std::string> Probe(const std::string& path);

// mediainfo's answer to an --Inform template such as "Audio;%BitRate_Mode%".
std::string MediaInfo(const std::string& path, const std::string& inform);

// The whole of a file; empty when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

}  // namespace nb::audio_testing
