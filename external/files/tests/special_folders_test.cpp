// Well-known folders by name, in a home folder of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <ostream>

#include "common/error_report.h"
#include "external/frame/tests/shell_double.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

namespace fs = std::filesystem;

// A user whose home and configuration are in a temporary folder, with a
// user-dirs.dirs that names a desktop under home and music elsewhere.
class SpecialFolderTest : public ::testing::Test {
   protected:
    SpecialFolderTest()
        : m_home("HOME", m_root / "home"),
          m_config("XDG_CONFIG_HOME", std::nullopt),
          m_data("XDG_DATA_HOME", std::nullopt),
          m_cache("XDG_CACHE_HOME", std::nullopt) {
        fs::create_directories(m_root / "home/.config");
        std::ofstream(m_root / "home/.config/user-dirs.dirs")
            << "# written by hand\n"
               "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
               "XDG_MUSIC_DIR=\""
            << (m_root / "media/music")
            << "\"\n"
               "XDG_VIDEOS_DIR=\"$HOME/Videos\"\n";
    }

    CallOutcome FolderOf(const TestValue& name) {
        return m_shell.Call(LoadExport("EX_GetSpecialFolderPath"), {name});
    }

    ShellDouble m_shell;
    TemporaryFolder m_root;
    ScopedVariable m_home, m_config, m_data, m_cache;
};

enum class Existing { No, Yes };

struct UserFolderCase {
    const char16_t* name;
    const char* under_root;
    Existing existing = Existing::No;  // the fixture made it already
};
void PrintTo(const UserFolderCase& c, std::ostream* os) { *os << ToUtf8(c.name); }

class UserFolder : public SpecialFolderTest,
                   public ::testing::WithParamInterface<UserFolderCase> {};

TEST_P(UserFolder, IsMadeWhereItsKindLives) {
    const std::string expected = m_root / GetParam().under_root;
    ASSERT_EQ(fs::exists(expected), GetParam().existing == Existing::Yes);
    const CallOutcome outcome = FolderOf(std::u16string(GetParam().name));
    ASSERT_EQ(outcome.hr, S_OK) << ToUtf8(outcome.description);
    EXPECT_EQ(outcome.result.type, VT_BSTR);
    EXPECT_EQ(outcome.result.text, ToUtf16(expected));
    EXPECT_TRUE(fs::is_directory(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Names, UserFolder,
    ::testing::Values(UserFolderCase{u"Profile", "home", Existing::Yes},
                      UserFolderCase{u"RoamingAppData", "home/.config", Existing::Yes},
                      UserFolderCase{u"LocalAppData", "home/.local/share"},
                      UserFolderCase{u"InternetCache", "home/.cache"},
                      UserFolderCase{u"Fonts", "home/.local/share/fonts"},
                      UserFolderCase{u"RecycleBinFolder", "home/.local/share/Trash"},
                      UserFolderCase{u"Cookies", "home/.local/share/nimbra/cookies"},
                      UserFolderCase{u"Programs", "home/.local/share/applications"},
                      UserFolderCase{u"StartMenu", "home/.local/share/applications"},
                      UserFolderCase{u"SendTo", "home/.local/share/nautilus/scripts"},
                      UserFolderCase{u"Startup", "home/.config/autostart"},
                      UserFolderCase{u"Desktop", "home/Schreibtisch"},
                      UserFolderCase{u"Music", "media/music"},
                      UserFolderCase{u"Pictures", "home/Pictures"},
                      UserFolderCase{u"Videos", "home/Videos"}));

struct SystemFolderCase {
    const char16_t* name;
    const char* path;
};
void PrintTo(const SystemFolderCase& c, std::ostream* os) { *os << ToUtf8(c.name); }

class SystemFolder : public SpecialFolderTest,
                     public ::testing::WithParamInterface<SystemFolderCase> {};

TEST_P(SystemFolder, IsFoundButNeverMade) {
    const CallOutcome outcome = FolderOf(std::u16string(GetParam().name));
    if (!fs::is_directory(GetParam().path)) {
        EXPECT_EQ(outcome.description, u"Catastrophic: SHGetSpecialFolderPath() failed");
        EXPECT_FALSE(fs::exists(GetParam().path));
        return;
    }
    ASSERT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.text, ToUtf16(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(
    Names, SystemFolder,
    ::testing::Values(SystemFolderCase{u"Windows", "/usr"}, SystemFolderCase{u"System", "/usr/lib"},
                      SystemFolderCase{u"ProgramData", "/var/lib"},
                      SystemFolderCase{u"ProgramFiles", "/opt"},
                      SystemFolderCase{u"ProgramFilesX86", "/opt"},
                      SystemFolderCase{u"ProgramFilesCommon", "/usr/share"},
                      SystemFolderCase{u"ProgramFilesCommonX86", "/usr/share"},
                      SystemFolderCase{u"CommonStartup", "/etc/xdg/autostart"}));

TEST_F(SpecialFolderTest, SystemX86IsTheThirtyTwoBitLibraryFolderOrTheSystemOne) {
    const CallOutcome outcome = FolderOf(u"SystemX86");
    ASSERT_EQ(outcome.hr, S_OK);
    const std::string expected = fs::is_directory("/usr/lib/i386-linux-gnu")
                                     ? "/usr/lib/i386-linux-gnu"
                                 : fs::is_directory("/usr/lib32") ? "/usr/lib32"
                                                                  : "/usr/lib";
    EXPECT_EQ(outcome.result.text, ToUtf16(expected));
}

TEST_F(SpecialFolderTest, BaseVariablesWinWhenAbsolute) {
    ScopedVariable config("XDG_CONFIG_HOME", m_root / "cfg");
    ScopedVariable data("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(FolderOf(u"RoamingAppData").result.text, ToUtf16(m_root / "cfg"));
    // The relative one is ignored, as the convention says.
    EXPECT_EQ(FolderOf(u"LocalAppData").result.text, ToUtf16(m_root / "home/.local/share"));
    // user-dirs.dirs is read from the configuration folder in force: none there.
    EXPECT_EQ(FolderOf(u"Desktop").result.text, ToUtf16(m_root / "home/Desktop"));
}

TEST_F(SpecialFolderTest, NamesMatchExactly) {
    for (const TestValue& name :
         {TestValue(u"desktop"), TestValue(u"DESKTOP"), TestValue(u"Desktop "),
          TestValue(u"Documents"), TestValue(u""), TestValue(nullptr)}) {
        const CallOutcome outcome = FolderOf(name);
        EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(outcome.code, NB_ERROR_FILE_REQUEST);
        EXPECT_EQ(outcome.description, u"Catastrophic: Invalid CSIDL; Not found!");
        EXPECT_EQ(outcome.source, u"External::GetSpecialFolderPath");
    }
    EXPECT_EQ(FolderOf(u"Desktop").hr, S_OK);
}

TEST_F(SpecialFolderTest, AFolderThatCannotBeMadeFails) {
    // A home that is a file: nothing can be made below it.
    std::ofstream(m_root / "plain-file") << "x";
    ScopedVariable home("HOME", m_root / "plain-file");
    for (const char16_t* name : {u"Desktop", u"Profile", u"Cookies"}) {
        const CallOutcome outcome = FolderOf(std::u16string(name));
        EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION) << ToUtf8(name);
        EXPECT_EQ(outcome.code, NB_ERROR_FILE_REQUEST);
        EXPECT_EQ(outcome.description, u"Catastrophic: SHGetSpecialFolderPath() failed");
    }
}

}  // namespace
}  // namespace nb::external::testing
