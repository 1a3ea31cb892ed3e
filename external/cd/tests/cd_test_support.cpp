#include "external/cd/tests/cd_test_support.h"

#include <gtest/gtest.h>

#include "platform/automation/com.h"
#include "platform/text/code_pages.h"

namespace nb::external::cd::testing {

// The lists come back as script arrays of the utility library, found in the
// built application directory as the shell finds it.
CdTest::CdTest() { EXPECT_TRUE(NbSetApplicationDirectory(NB_TEST_APP_DIR)); }

DiscImage CdTest::Make(const std::vector<TrackSpec>& tracks, const std::string& name) {
    std::optional<DiscImage> image = cdrip::testing::MakeDiscImage(m_folder.path(), name, tracks);
    EXPECT_TRUE(image) << "ffmpeg could not make the image";
    return image.value_or(DiscImage{});
}

void CdTest::UseImage(const std::string& cue_path) {
    m_named.reset();
    if (!cue_path.empty()) m_named.emplace("NIMBRA_CD_IMAGE", cue_path);
}

std::u16string CdTest::Output(const std::string& name) const { return ToUtf16(m_folder / name); }

}  // namespace nb::external::cd::testing
