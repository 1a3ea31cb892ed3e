// The private-profile calls over real files in a temporary folder.
#include "platform/profile/profile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/text/code_pages.h"

namespace {

namespace fs = std::filesystem;

class ProfileTest : public testing::Test {
   protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nb-profile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_path = m_dir / "NbBrowser.ini";
        m_wide_path = nb::ToUtf16(m_path.string());
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void WriteText(const std::string& text) { std::ofstream(m_path, std::ios::binary) << text; }
    std::string ReadText() const {
        std::ifstream file(m_path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
    LPCWSTR File() const { return m_wide_path.c_str(); }

    std::u16string Get(LPCWSTR section, LPCWSTR key, LPCWSTR fallback = u"", DWORD size = 1024,
                       DWORD* answered = nullptr) {
        std::u16string buffer(size, u'#');
        DWORD count = GetPrivateProfileStringW(section, key, fallback, buffer.data(), size, File());
        if (answered) *answered = count;
        EXPECT_EQ(buffer[count], u'\0');
        return buffer.substr(0, count);
    }

    fs::path m_dir;
    fs::path m_path;
    std::u16string m_wide_path;
};

TEST_F(ProfileTest, MissingFileGivesTheDefaultWithoutTrailingBlanks) {
    EXPECT_EQ(Get(u"NimbraHAPF", u"win_StartupURL", u"about:blank  "), u"about:blank");
    EXPECT_EQ(Get(u"NimbraHAPF", u"win_StartupURL", nullptr), u"");
    EXPECT_EQ(GetPrivateProfileIntW(u"NimbraHAPF", u"win_Width", 800, File()), 800u);
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(ProfileTest, ReadsSettingsAndCutsLongValues) {
    WriteText("[NimbraHAPF]\nwin_State=Hidden\nwin_ApplicationName=Ringtone Maker\n");
    EXPECT_EQ(Get(u"nimbrahapf", u"WIN_STATE"), u"Hidden");
    DWORD answered = 0;
    EXPECT_EQ(Get(u"NimbraHAPF", u"win_ApplicationName", u"", 5, &answered), u"Ring");
    EXPECT_EQ(answered, 4u);
    EXPECT_EQ(Get(u"NimbraHAPF", u"win_ApplicationName", u"", 1, &answered), u"");
    EXPECT_EQ(Get(u"NimbraHAPF", u"missing", u"fallback", 4), u"fal");
}

TEST_F(ProfileTest, ListsSectionAndKeyNames) {
    WriteText("[A]\nx=1\nyy=2\n[Bee]\n");
    DWORD answered = 0;
    EXPECT_EQ(Get(nullptr, nullptr, u"", 64, &answered), std::u16string(u"A\0Bee\0", 6));
    EXPECT_EQ(Get(u"a", nullptr, u"", 64), std::u16string(u"x\0yy\0", 5));
    // Cut lists end in two zeros and answer size - 2.
    std::u16string buffer(6, u'#');
    EXPECT_EQ(GetPrivateProfileStringW(nullptr, nullptr, u"", buffer.data(), 6, File()), 4u);
    EXPECT_EQ(buffer, std::u16string(u"A\0Be\0\0", 6));
}

TEST_F(ProfileTest, ReadsIntegersWithZeroForUnreadableText) {
    WriteText(
        "[N]\ndecimal=42\nblanks=  +17 \nnegative=-5\nhex=0x1F\nbinary=0b101\nletters=abc\n"
        "trailing=12px\nempty=\nhuge=4294967297\n");
    struct Case {
        const char16_t* key;
        UINT value;
    };
    const Case cases[] = {
        {u"decimal", 42}, {u"blanks", 17}, {u"negative", 0xFFFFFFFBu}, {u"hex", 31},
        {u"binary", 5},   {u"letters", 0}, {u"trailing", 12},          {u"empty", 7},
        {u"huge", 1},     {u"missing", 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetPrivateProfileIntW(u"N", c.key, 7, File()), c.value) << nb::ToUtf8(c.key);
}

TEST_F(ProfileTest, WritesKeepOtherLinesAndReplaceTheFile) {
    const std::string original =
        "; settings\r\n[NimbraHAPF]\r\nwin_Width=640\r\n\r\n[Jar]\r\nk=v\r\n";
    WriteText(original);
    ::chmod(m_path.c_str(), 0640);
    // A reader that opened the old file keeps reading all of it.
    std::ifstream reader(m_path, std::ios::binary);

    EXPECT_TRUE(WritePrivateProfileStringW(u"NimbraHAPF", u"win_Height", u"480", File()));
    EXPECT_TRUE(WritePrivateProfileStringW(u"nimbrahapf", u"WIN_WIDTH", u"800", File()));
    EXPECT_EQ(ReadText(),
              "; settings\r\n[NimbraHAPF]\r\nwin_Width=800\r\nwin_Height=480\r\n\r\n"
              "[Jar]\r\nk=v\r\n");

    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), original);
    struct stat after {};
    ASSERT_EQ(::stat(m_path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    // No temporary file stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

// A writer killed between writing its temporary file and the rename left
// that file; the next write in the folder removes it, and nothing else.
TEST_F(ProfileTest, WritesRemoveTemporaryFilesThatDeadWritersLeft) {
    WriteText("[A]\nk=1\n");
    const std::vector<std::string> abandoned = {".NbBrowser.ini.Ab12Cd", ".NbBrowser.ini.zzzzzz"};
    const std::vector<std::string> kept = {".NbBrowser.ini.longer1", ".Other.ini.Ab12Cd",
                                           "NbBrowser.ini.Ab12Cd", ".NbBrowser.ini.Ab12C"};
    for (const std::string& name : abandoned) std::ofstream(m_dir / name) << "[A]\nk=ha";
    for (const std::string& name : kept) std::ofstream(m_dir / name) << "[A]\nk=2\n";
    fs::create_directory(m_dir / ".NbBrowser.ini.folder");

    EXPECT_TRUE(WritePrivateProfileStringW(u"A", u"k", u"3", File()));
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".NbBrowser.ini.Ab12C", ".NbBrowser.ini.folder",
                                               ".NbBrowser.ini.longer1", ".Other.ini.Ab12Cd",
                                               "NbBrowser.ini", "NbBrowser.ini.Ab12Cd"}));
    EXPECT_EQ(ReadText(), "[A]\nk=3\n");
}

TEST_F(ProfileTest, NullValueDeletesTheKeyAndNullKeyTheSection) {
    WriteText("[A]\nk=1\nj=2\n[B]\nb=1\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"A", u"k", nullptr, File()));
    EXPECT_EQ(ReadText(), "[A]\nj=2\n[B]\nb=1\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"B", nullptr, nullptr, File()));
    EXPECT_EQ(ReadText(), "[A]\nj=2\n");
    // Deleting what is not there succeeds and creates nothing.
    fs::remove(m_path);
    EXPECT_TRUE(WritePrivateProfileStringW(u"A", u"k", nullptr, File()));
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(ProfileTest, RefusedWritesLeaveTheFileAlone) {
    WriteText("[A]\nk=1\n");
    EXPECT_FALSE(WritePrivateProfileStringW(u"A", u"k", u"1\n[B]\nx=2", File()));
    EXPECT_FALSE(WritePrivateProfileStringW(u"A", u"=k", u"1", File()));
    EXPECT_FALSE(WritePrivateProfileStringW(nullptr, u"k", u"1", File()));
    EXPECT_FALSE(WritePrivateProfileStringW(u"A", u"k", u"1", nullptr));
    EXPECT_TRUE(WritePrivateProfileStringW(nullptr, nullptr, nullptr, File()));
    EXPECT_EQ(ReadText(), "[A]\nk=1\n");
    // A folder in the file's place, and a file in a missing folder.
    std::u16string folder = nb::ToUtf16(m_dir.string());
    EXPECT_FALSE(WritePrivateProfileStringW(u"A", u"k", u"1", folder.c_str()));
    std::u16string nowhere = nb::ToUtf16((m_dir / "missing" / "x.ini").string());
    EXPECT_FALSE(WritePrivateProfileStringW(u"A", u"k", u"1", nowhere.c_str()));
}

TEST_F(ProfileTest, WritesThroughSymbolicLinks) {
    WriteText("[A]\nk=1\n");
    fs::path link = m_dir / "link.ini";
    fs::create_symlink(m_path.filename(), link);
    std::u16string wide_link = nb::ToUtf16(link.string());
    EXPECT_TRUE(WritePrivateProfileStringW(u"A", u"k", u"2", wide_link.c_str()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadText(), "[A]\nk=2\n");
}

TEST_F(ProfileTest, Utf16FilesStayUtf16) {
    std::u16string text = u"[Ä]\r\nschlüssel=wert\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    WriteText(bytes);
    EXPECT_EQ(Get(u"ä", u"SCHLÜSSEL"), u"wert");
    EXPECT_TRUE(WritePrivateProfileStringW(u"Ä", u"neu", u"ja", File()));
    std::string written = ReadText();
    ASSERT_GE(written.size(), 2u);
    EXPECT_EQ(written.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Get(u"Ä", u"neu"), u"ja");
    EXPECT_EQ(Get(u"Ä", u"schlüssel"), u"wert");
}

// Writers in two processes, each adding its own keys: the folder lock keeps
// every read-modify-replace whole, so no key is lost.
TEST_F(ProfileTest, ConcurrentWritersLoseNothing) {
    constexpr int kKeys = 40;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    const char16_t* section = child == 0 ? u"Child" : u"Parent";
    bool all_written = true;
    for (int i = 0; i < kKeys; ++i) {
        std::u16string key = u"k" + nb::ToUtf16(std::to_string(i));
        all_written &= WritePrivateProfileStringW(section, key.c_str(), u"v", File()) != 0;
    }
    if (child == 0) ::_exit(all_written ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(all_written);
    for (const char16_t* name : {u"Child", u"Parent"})
        for (int i = 0; i < kKeys; ++i) {
            std::u16string key = u"k" + nb::ToUtf16(std::to_string(i));
            EXPECT_EQ(Get(name, key.c_str()), u"v") << nb::ToUtf8(name) << i;
        }
}

}  // namespace
