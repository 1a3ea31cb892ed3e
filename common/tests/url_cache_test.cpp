#include "platform/urlcache/url_cache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/tests/buffer_test_support.h"
#include "platform/text/code_pages.h"

namespace {

namespace fs = std::filesystem;
using nb::test::ReadFileBytes;
using nb::test::WriteFileBytes;

constexpr const char16_t* kUrl = u"x-mrs://ui/d\u00e9j\u00e0 vu.html";
constexpr FILETIME kExpiry = {0x89ABCDEF, 0x01DA0000};
constexpr FILETIME kModified = {0x12345678, 0x01D90000};
constexpr std::u16string_view kHeaders = u"HTTP/1.0 200 OK\r\n\r\n";

std::u16string CreateEntryFile(LPCWSTR extension) {
    char16_t name[nb::kUrlCacheFileNameCapacity] = {};
    if (!CreateUrlCacheEntryW(kUrl, 0, extension, name, 0)) return {};
    return name;
}

BOOL Commit(LPCWSTR url, const std::u16string& file) {
    return CommitUrlCacheEntryW(url, file.c_str(), kExpiry, kModified, NORMAL_CACHE_ENTRY,
                                kHeaders.data(), static_cast<DWORD>(kHeaders.size()), u"html",
                                nullptr);
}

class UrlCacheTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_FALSE(m_directory.Path().empty());
        m_cache = m_directory.Path() + "/cache";
        NbSetUrlCacheDirectory(m_cache.c_str());
    }
    void TearDown() override { NbSetUrlCacheDirectory(nullptr); }

    nb::test::TemporaryDirectory m_directory;
    std::string m_cache;
};

TEST_F(UrlCacheTest, CreateMakesAFreshFileWithTheExtensionInTheDirectory) {
    std::u16string first = CreateEntryFile(u"png");
    std::u16string second = CreateEntryFile(u"png");
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second);
    for (const std::u16string& name : {first, second}) {
        fs::path path = nb::ToUtf8(name);
        EXPECT_EQ(path.parent_path(), m_cache);
        EXPECT_EQ(path.extension(), ".png");
        EXPECT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(fs::file_size(path), 0u);
    }
    for (LPCWSTR none : {static_cast<LPCWSTR>(nullptr), u""}) {
        fs::path path = nb::ToUtf8(CreateEntryFile(none));
        EXPECT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(path.extension(), "");
    }
}

TEST_F(UrlCacheTest, CreateRefusesWhatCannotBeAFileName) {
    char16_t name[nb::kUrlCacheFileNameCapacity] = {};
    EXPECT_FALSE(CreateUrlCacheEntryW(kUrl, 0, u"../x", name, 0));
    EXPECT_FALSE(CreateUrlCacheEntryW(kUrl, 0, u"html", nullptr, 0));
    std::u16string long_extension(300, u'a');
    EXPECT_FALSE(CreateUrlCacheEntryW(kUrl, 0, long_extension.c_str(), name, 0));
    EXPECT_TRUE(fs::is_empty(m_cache)) << "no file is left behind";
}

TEST_F(UrlCacheTest, CommitRecordsTheEntryAndReplacesAnEarlierOne) {
    std::u16string first = CreateEntryFile(u"html");
    WriteFileBytes(nb::ToUtf8(first), "one");
    ASSERT_TRUE(Commit(kUrl, first));

    std::optional<nb::UrlCacheEntry> entry = nb::FindUrlCacheEntry(kUrl);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->url, kUrl);
    EXPECT_EQ(entry->local_file, first);
    EXPECT_EQ(entry->expire_time.dwLowDateTime, kExpiry.dwLowDateTime);
    EXPECT_EQ(entry->expire_time.dwHighDateTime, kExpiry.dwHighDateTime);
    EXPECT_EQ(entry->last_modified_time.dwLowDateTime, kModified.dwLowDateTime);
    EXPECT_EQ(entry->last_modified_time.dwHighDateTime, kModified.dwHighDateTime);
    EXPECT_EQ(entry->entry_type, NORMAL_CACHE_ENTRY);
    EXPECT_EQ(entry->header_info, kHeaders);
    EXPECT_EQ(entry->file_extension, u"html");

    std::u16string other = CreateEntryFile(u"html");
    ASSERT_TRUE(Commit(u"x-mrs://ui/other.html", other));
    std::u16string second = CreateEntryFile(u"html");
    ASSERT_TRUE(Commit(kUrl, second));
    EXPECT_EQ(nb::FindUrlCacheEntry(kUrl)->local_file, second);
    EXPECT_FALSE(fs::exists(nb::ToUtf8(first))) << "the replaced entry's file is removed";
    EXPECT_EQ(nb::FindUrlCacheEntry(u"x-mrs://ui/other.html")->local_file, other);
    EXPECT_FALSE(nb::FindUrlCacheEntry(u"x-mrs://ui/unknown.html").has_value());
}

TEST_F(UrlCacheTest, CommitRefusesAMissingUrlOrFileAndFilesOutsideTheCache) {
    std::u16string file = CreateEntryFile(u"html");
    std::string outside = m_directory.Path() + "/outside.html";
    WriteFileBytes(outside, "x");
    EXPECT_FALSE(Commit(nullptr, file));
    EXPECT_FALSE(Commit(u"", file));
    EXPECT_FALSE(Commit(kUrl, file + u".gone"));
    EXPECT_FALSE(Commit(kUrl, nb::ToUtf16(outside)));
    EXPECT_FALSE(Commit(kUrl, nb::ToUtf16(m_cache)));
    EXPECT_FALSE(nb::FindUrlCacheEntry(kUrl).has_value());
}

TEST_F(UrlCacheTest, DeleteRemovesTheEntryAndItsFile) {
    std::u16string file = CreateEntryFile(u"html");
    ASSERT_TRUE(Commit(kUrl, file));
    EXPECT_TRUE(DeleteUrlCacheEntryW(kUrl));
    EXPECT_FALSE(nb::FindUrlCacheEntry(kUrl).has_value());
    EXPECT_FALSE(fs::exists(nb::ToUtf8(file)));
    EXPECT_FALSE(DeleteUrlCacheEntryW(kUrl));
    EXPECT_FALSE(DeleteUrlCacheEntryW(nullptr));
}

TEST_F(UrlCacheTest, ADamagedEntryFileCountsAsNoEntry) {
    ASSERT_TRUE(Commit(kUrl, CreateEntryFile(u"html")));
    fs::path entry_file = fs::directory_iterator(m_cache + "/entries")->path();
    std::string intact = ReadFileBytes(entry_file);
    for (std::size_t cut : {std::size_t{0}, std::size_t{5}, intact.size() / 2, intact.size() - 1}) {
        WriteFileBytes(entry_file, intact.substr(0, cut));
        EXPECT_FALSE(nb::FindUrlCacheEntry(kUrl).has_value()) << cut;
    }
    WriteFileBytes(entry_file, intact + "x");
    EXPECT_FALSE(nb::FindUrlCacheEntry(kUrl).has_value());
    WriteFileBytes(entry_file, intact);
    EXPECT_TRUE(nb::FindUrlCacheEntry(kUrl).has_value());
}

class ScopedVariable {
   public:
    ScopedVariable(const char* name, const char* value) : m_name(name) {
        if (const char* saved = std::getenv(name)) m_saved = saved;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedVariable() {
        if (m_saved)
            ::setenv(m_name, m_saved->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

   private:
    const char* m_name;
    std::optional<std::string> m_saved;
};

TEST_F(UrlCacheTest, TheDefaultDirectoryFollowsXdgCacheHomeThenHome) {
    NbSetUrlCacheDirectory(nullptr);
    std::string xdg = m_directory.Path() + "/xdg";
    std::string home = m_directory.Path() + "/home";
    struct Case {
        const char* xdg_cache_home;
        std::string expected_directory;
    };
    const Case cases[] = {
        {xdg.c_str(), xdg + "/nimbra/urlcache"},
        {"relative/cache", home + "/.cache/nimbra/urlcache"},
        {nullptr, home + "/.cache/nimbra/urlcache"},
    };
    ScopedVariable home_variable("HOME", home.c_str());
    for (const Case& c : cases) {
        ScopedVariable xdg_variable("XDG_CACHE_HOME", c.xdg_cache_home);
        fs::path path = nb::ToUtf8(CreateEntryFile(u"html"));
        EXPECT_EQ(path.parent_path(), c.expected_directory);
    }
}

}  // namespace
