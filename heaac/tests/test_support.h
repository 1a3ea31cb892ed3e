#pragma once
// Helpers shared by the end-to-end tests: running commands, writing and reading WAV files,
// encoding with heaac-enc and decoding with the ffmpeg command line.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "heaac/wav_reader.h"

namespace heaac::test {

struct CommandResult {
    int exit_code;
    std::string output;  // stdout and stderr together
};

CommandResult run(const std::string& command);

void write_wav(const std::filesystem::path& path, int rate_hz, int channels,
               const std::vector<std::int16_t>& samples);
WavAudio read_wav(const std::filesystem::path& path);

// Decodes an ADTS file with ffmpeg to interleaved 32-bit floats (full scale 1.0). Float output
// keeps any NaN or overflow the decoder produces visible; 16-bit output would clip it away.
std::vector<float> decode_to_float(const std::filesystem::path& adts_path);

// A fresh directory under the system temp dir, removed again on destruction.
class ScratchDir {
   public:
    explicit ScratchDir(const std::string& name);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

   private:
    std::filesystem::path m_path;
};

}  // namespace heaac::test
