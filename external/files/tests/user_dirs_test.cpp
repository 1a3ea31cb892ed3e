// Reading folders out of user-dirs.dirs text.
#include "external/files/user_dirs.h"

#include <gtest/gtest.h>

#include <ostream>

namespace nb::external {
namespace {

struct LineCase {
    const char* text;
    std::optional<std::string> folder;  // for XDG_MUSIC_DIR with home /home/u
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.text; }

class UserDirsLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(UserDirsLine, GivesTheFolder) {
    EXPECT_EQ(FindUserDir(GetParam().text, "XDG_MUSIC_DIR", "/home/u"), GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UserDirsLine,
    ::testing::Values(LineCase{"XDG_MUSIC_DIR=\"$HOME/Music\"", "/home/u/Music"},
                      LineCase{"XDG_MUSIC_DIR=\"/srv/music\"\n", "/srv/music"},
                      LineCase{"  XDG_MUSIC_DIR = \"$HOME/My Music\"  # note", "/home/u/My Music"},
                      LineCase{"XDG_MUSIC_DIR=\"$HOME/a\\\"b\\\\c\"", "/home/u/a\"b\\c"},
                      LineCase{"XDG_MUSIC_DIR=\"$HOME/Musik/\"", "/home/u/Musik"},
                      LineCase{"XDG_MUSIC_DIR=\"$HOME\"", "/home/u"},
                      LineCase{"XDG_MUSIC_DIR=\"$HOME/\"", "/home/u"},
                      LineCase{"XDG_MUSIC_DIR=\"/\"", "/"},
                      // Not valid: relative, other variables, unquoted, unclosed, other keys.
                      LineCase{"XDG_MUSIC_DIR=\"Music\"", std::nullopt},
                      LineCase{"XDG_MUSIC_DIR=\"$HOMEMUSIC\"", std::nullopt},
                      LineCase{"XDG_MUSIC_DIR=\"$XDG_DATA_HOME/m\"", std::nullopt},
                      LineCase{"XDG_MUSIC_DIR=$HOME/Music", std::nullopt},
                      LineCase{"XDG_MUSIC_DIR=\"$HOME/Music", std::nullopt},
                      LineCase{"XDG_MUSIC_DIRS=\"/x\"", std::nullopt},
                      LineCase{"# XDG_MUSIC_DIR=\"/x\"", std::nullopt},
                      LineCase{"XDG_MUSIC_DIR", std::nullopt}, LineCase{"", std::nullopt}));

TEST(UserDirs, TheLastValidLineWins) {
    const char* text =
        "XDG_MUSIC_DIR=\"$HOME/first\"\n"
        "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\r\n"
        "XDG_MUSIC_DIR=\"$HOME/second\"\n"
        "XDG_MUSIC_DIR=\"not valid\"\n";
    EXPECT_EQ(FindUserDir(text, "XDG_MUSIC_DIR", "/home/u"), "/home/u/second");
    // Anything after the closing quote is ignored, a carriage return included.
    EXPECT_EQ(FindUserDir(text, "XDG_DESKTOP_DIR", "/home/u"), "/home/u/Desktop");
}

TEST(UserDirs, HomeIsJoinedWithoutDoubledSlashes) {
    EXPECT_EQ(FindUserDir("XDG_MUSIC_DIR=\"$HOME/Music\"", "XDG_MUSIC_DIR", "/home/u/"),
              "/home/u/Music");
    EXPECT_EQ(FindUserDir("XDG_MUSIC_DIR=\"$HOME/Music\"", "XDG_MUSIC_DIR", "/"), "/Music");
    EXPECT_EQ(FindUserDir(std::string_view("XDG_MUSIC_DIR=\"/a\0b\"", 20), "XDG_MUSIC_DIR", "/"),
              std::nullopt);
}

}  // namespace
}  // namespace nb::external
