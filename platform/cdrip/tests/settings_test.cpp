// The settings file in the temporary folder: read only when it is this
// user's own plain file, created with the keys when missing, never written
// through a link; the environment names the image over the file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/cdrip/cdrip_settings.h"

namespace nb::cdrip {
namespace {

using namespace std::chrono_literals;

class SettingsTest : public ::testing::Test {
   protected:
    SettingsTest() {
        std::string pattern = (std::filesystem::temp_directory_path() / "cdrip.XXXXXX").string();
        m_folder = mkdtemp(pattern.data()) ? pattern : std::string();
        unsetenv(kDiscImageVariable);
    }
    ~SettingsTest() override {
        unsetenv(kDiscImageVariable);
        std::filesystem::remove_all(m_folder);
    }
    std::string Path(const std::string& name = "s2mcr.ini") const { return m_folder + "/" + name; }
    void Write(const std::string& text, mode_t mode = 0600, const std::string& name = "s2mcr.ini") {
        std::ofstream(Path(name)) << text;
        ASSERT_EQ(::chmod(Path(name).c_str(), mode), 0);
    }
    static std::string Read(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    }

    std::string m_folder;
};

struct FileCase {
    const char* what;
    std::string text;
    mode_t mode;
    std::string image;
    std::chrono::milliseconds timeout;
};

TEST_F(SettingsTest, ReadsTheKeysOfTheUsersOwnFile) {
    const FileCase cases[] = {
        {"both keys", "[CDRip]\nDiscImage=/discs/a b.cue\nDriveTimeoutMs=1500\n", 0600,
         "/discs/a b.cue", 1500ms},
        {"keys in any case, blanks around", "[cdrip]\n  discimage =  x.cue \n", 0644, "x.cue",
         kDefaultDriveTimeout},
        {"a timeout that is no number", "[CDRip]\nDriveTimeoutMs=soon\n", 0600, "",
         kDefaultDriveTimeout},
        {"a timeout too short to wait", "[CDRip]\nDriveTimeoutMs=5\n", 0600, "", 100ms},
        {"a timeout past ten minutes", "[CDRip]\nDriveTimeoutMs=999999999\n", 0600, "", 600000ms},
        {"another section", "[Other]\nDiscImage=x.cue\n", 0600, "", kDefaultDriveTimeout},
        {"a file others may write", "[CDRip]\nDiscImage=planted.cue\n", 0666, "",
         kDefaultDriveTimeout},
        {"a file the group may write", "[CDRip]\nDiscImage=planted.cue\n", 0620, "",
         kDefaultDriveTimeout},
    };
    for (const FileCase& c : cases) {
        Write(c.text, c.mode);
        const CdRipSettings settings = ReadSettings(Path());
        EXPECT_EQ(settings.disc_image, c.image) << c.what;
        EXPECT_EQ(settings.drive_timeout, c.timeout) << c.what;
    }
}

TEST_F(SettingsTest, IgnoresALinkAndAMissingFile) {
    EXPECT_EQ(ReadSettings(Path()).disc_image, "");
    Write("[CDRip]\nDiscImage=linked.cue\n", 0600, "real.ini");
    ASSERT_EQ(::symlink(Path("real.ini").c_str(), Path().c_str()), 0);
    EXPECT_EQ(ReadSettings(Path()).disc_image, "");
}

TEST_F(SettingsTest, TheEnvironmentNamesTheImageOverTheFile) {
    Write("[CDRip]\nDiscImage=from_file.cue\n");
    setenv(kDiscImageVariable, "from_environment.cue", 1);
    EXPECT_EQ(ReadSettings(Path()).disc_image, "from_environment.cue");
    setenv(kDiscImageVariable, "", 1);
    EXPECT_EQ(ReadSettings(Path()).disc_image, "from_file.cue");
}

TEST_F(SettingsTest, CreatesTheFileWithItsKeysOnlyWhenThereIsNone) {
    ASSERT_TRUE(WriteDefaultSettings(Path()));
    struct stat info {};
    ASSERT_EQ(::stat(Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string text = Read(Path());
    EXPECT_NE(text.find("[CDRip]\n"), std::string::npos);
    EXPECT_NE(text.find("\nDiscImage=\n"), std::string::npos);
    EXPECT_NE(text.find("\nDriveTimeoutMs=20000\n"), std::string::npos);
    const CdRipSettings settings = ReadSettings(Path());
    EXPECT_EQ(settings.disc_image, "");
    EXPECT_EQ(settings.drive_timeout, kDefaultDriveTimeout);

    Write("[CDRip]\nDiscImage=mine.cue\n");
    EXPECT_FALSE(WriteDefaultSettings(Path()));
    EXPECT_EQ(Read(Path()), "[CDRip]\nDiscImage=mine.cue\n");
}

TEST_F(SettingsTest, NeverWritesThroughALink) {
    Write("precious\n", 0600, "target");
    ASSERT_EQ(::symlink(Path("target").c_str(), Path().c_str()), 0);
    EXPECT_FALSE(WriteDefaultSettings(Path()));
    EXPECT_EQ(Read(Path("target")), "precious\n");
    // A dangling link is not followed to create its target either.
    ASSERT_EQ(::symlink(Path("nowhere").c_str(), Path("dangling.ini").c_str()), 0);
    EXPECT_FALSE(WriteDefaultSettings(Path("dangling.ini")));
    EXPECT_FALSE(std::filesystem::exists(Path("nowhere")));
}

}  // namespace
}  // namespace nb::cdrip
