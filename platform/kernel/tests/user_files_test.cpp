// Where the settings file and the jar are kept: beside an unpacked copy, in
// the user's configuration folder for an installed one.
#include "platform/kernel/user_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A private folder with a configuration home inside it, set as
// $XDG_CONFIG_HOME for the test and restored after.
class UserFiles : public ::testing::Test {
   protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("nb_user_files_" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "app");
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) m_old_config = old;
        if (const char* old = std::getenv("HOME")) m_old_home = old;
        ::setenv("XDG_CONFIG_HOME", Config().c_str(), 1);
    }
    void TearDown() override {
        Restore("XDG_CONFIG_HOME", m_old_config);
        Restore("HOME", m_old_home);
        fs::permissions(m_dir / "app", fs::perms::owner_all);
        fs::remove_all(m_dir);
    }
    static void Restore(const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    std::string Config() const { return (m_dir / "config").string(); }

    fs::path m_dir;
    std::optional<std::string> m_old_config;
    std::optional<std::string> m_old_home;
};

TEST_F(UserFiles, AnUnpackedCopyKeepsItsFilesBesideItself) {
    const std::string beside = (m_dir / "app/NbBrowser.ini").string();
    Write(beside, "[NimbraHAPF]\n");
    EXPECT_EQ(nb::UserWritableFile(beside), beside);
    EXPECT_FALSE(fs::exists(Config()));
}

TEST_F(UserFiles, AnInstalledCopyStartsTheUsersFileFromTheShippedOne) {
    // Every Debian system ships this file under /usr.
    const std::string shipped = "/usr/lib/os-release";
    ASSERT_TRUE(fs::exists(shipped));
    const std::string own = Config() + "/nimbra/os-release";
    EXPECT_EQ(nb::UserWritableFile(shipped), own);
    EXPECT_EQ(Read(own), Read(shipped));
    EXPECT_EQ(fs::status(Config() + "/nimbra").permissions() & fs::perms::all,
              fs::perms::owner_all);

    // What the user changed is theirs: it is never copied over again.
    Write(own, "changed");
    EXPECT_EQ(nb::UserWritableFile(shipped), own);
    EXPECT_EQ(Read(own), "changed");
    EXPECT_EQ(std::distance(fs::directory_iterator(Config() + "/nimbra"), {}), 1);
}

TEST_F(UserFiles, AFileNothingShippedStartsMissing) {
    const std::string own = Config() + "/nimbra/NbExternal.jar";
    EXPECT_EQ(nb::UserWritableFile("/usr/lib/nb-absent/internals/NbExternal.jar"), own);
    EXPECT_TRUE(fs::is_directory(Config() + "/nimbra"));
    EXPECT_FALSE(fs::exists(own));
}

TEST_F(UserFiles, TheConfigurationHomeFallsBackToTheHomeFolder) {
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", (m_dir / "home").c_str(), 1);
    EXPECT_EQ(nb::UserWritableFile("/usr/lib/nb-absent/NbBrowser.ini"),
              (m_dir / "home/.config/nimbra/NbBrowser.ini").string());

    // No home at all: the installed path, which still reads.
    ::unsetenv("HOME");
    EXPECT_EQ(nb::UserWritableFile("/usr/lib/nb-absent/NbBrowser.ini"),
              "/usr/lib/nb-absent/NbBrowser.ini");
}

TEST_F(UserFiles, AFolderTheUserCannotWriteSendsTheFileToTheConfigurationHome) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
    const std::string installed = (m_dir / "app/NbBrowser.ini").string();
    Write(installed, "[NimbraHAPF]\nwin_Width=880\n");
    fs::permissions(m_dir / "app", fs::perms::owner_read | fs::perms::owner_exec);
    const std::string own = Config() + "/nimbra/NbBrowser.ini";
    EXPECT_EQ(nb::UserWritableFile(installed), own);
    EXPECT_EQ(Read(own), Read(installed));
}

}  // namespace
