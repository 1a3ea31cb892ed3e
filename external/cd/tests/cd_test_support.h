// What the CD function tests share: a folder of disc images made at test
// time, the temporary folder (and so the ripping library's settings file)
// private to the test, and the image named as the first drive.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "external/frame/tests/shell_double.h"
#include "external/frame/tests/test_environment.h"
#include "platform/cdrip/tests/disc_image.h"

namespace nb::external::cd::testing {

using cdrip::testing::DiscImage;
using cdrip::testing::TrackSpec;
using nb::external::testing::ScopedVariable;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;

constexpr std::uint32_t kSessionGap = 11400;

class CdTest : public ::testing::Test {
   protected:
    CdTest();

    // Makes the image in the test's folder; an empty one when ffmpeg failed.
    DiscImage Make(const std::vector<TrackSpec>& tracks, const std::string& name = "album");
    // The cue sheet that stands as drive 0 from now on (none when empty).
    void UseImage(const std::string& cue_path);
    std::u16string Output(const std::string& name = "out.wav") const;

    ShellDouble m_shell;
    TemporaryFolder m_folder;

   private:
    ScopedVariable m_temporary{"TMPDIR", m_folder.path()};
    ScopedVariable m_image{"NIMBRA_CD_IMAGE", std::nullopt};
    std::optional<ScopedVariable> m_named;
};

}  // namespace nb::external::cd::testing
