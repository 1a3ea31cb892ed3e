// Media files the transcoder's tests read, made with the ffmpeg and sox
// command lines when a test first asks for one and kept for the rest of the
// test program. Tones are 0.5 of full scale and two seconds long; stereo
// sources carry 440 Hz on the left and 1000 Hz on the right.
#pragma once

#include <set>
#include <string>

#include "external/frame/tests/test_environment.h"

namespace nb::external::audio::testing {

extern const std::string kFfmpegQuiet;

class TestMedia {
   public:
    // The path of the named medium, made first if needed.
    static std::string Path(const std::string& name);

   private:
    static TestMedia& Get();
    std::string Make(const std::string& name);
    void Tool(const std::string& command_before_path, const std::string& path,
              const std::string& command_after_path = "");
    void Damage(const std::string& source, const std::string& cut, const std::string& damaged);
    void Noise(const std::string& path);
    void WaveOfFormat(const std::string& path, std::uint16_t format_tag, std::uint16_t channels);

    nb::external::testing::TemporaryFolder m_folder;
    std::set<std::string> m_made;
};

}  // namespace nb::external::audio::testing
