#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "common/buffer.h"
#include "common/tests/buffer_test_support.h"
#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"

namespace {

using nb::Buffer;
using nb::test::Pattern;
using nb::test::ReadFileBytes;

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr std::uint64_t kTicksFrom1601To1970 = 11644473600ull * kTicksPerSecond;
constexpr const char16_t* kUrl = u"x-mrs://ui/main.html";

std::uint64_t Ticks(FILETIME time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

Buffer MakeBuffer() {
    std::optional<Buffer> buffer = Buffer::Create(0);
    if (!buffer) std::abort();
    return std::move(*buffer);
}

HRESULT WriteText(Buffer& buffer, std::string_view text) {
    return buffer.Write(text.data(), text.size());
}

std::string ReadRest(Buffer& buffer) {
    std::string out;
    char chunk[4096];
    std::uint32_t count = 0;
    while (buffer.Read(chunk, sizeof chunk, &count) == S_OK) out.append(chunk, count);
    return out;
}

std::size_t RegularFilesIn(const std::string& directory) {
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        files += entry.is_regular_file() ? 1 : 0;
    return files;
}

// Puts the process in a zone 5:30 east of UTC, so local time and UTC differ.
class LocalZone {
   public:
    LocalZone() {
        const char* saved = std::getenv("TZ");
        m_saved = saved ? std::optional<std::string>(saved) : std::nullopt;
        ::setenv("TZ", "NBT-5:30", 1);
        ::tzset();
    }
    ~LocalZone() {
        if (m_saved)
            ::setenv("TZ", m_saved->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

   private:
    std::optional<std::string> m_saved;
};

// Files grow no larger than the limit while it lives: writes beyond it fail
// with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
   public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_saved_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, m_saved.rlim_max};
        m_active = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_saved_handler);
    }
    bool Active() const { return m_active; }

   private:
    rlimit m_saved{};
    void (*m_saved_handler)(int) = nullptr;
    bool m_active = false;
};

class BufferCacheTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_FALSE(m_directory.Path().empty());
        NbSetUrlCacheDirectory(m_directory.Path().c_str());
    }
    void TearDown() override { NbSetUrlCacheDirectory(nullptr); }

    nb::test::TemporaryDirectory m_directory;
    nb::test::MessageBoxRecorder m_boxes;
};

TEST_F(BufferCacheTest, CommitRecordsEveryMirroredByteForAYearFromLocalNow) {
    LocalZone zone;
    Buffer buffer = MakeBuffer();
    WriteText(buffer, "<html>");
    EXPECT_EQ(ReadRest(buffer).size(), 6u);
    WriteText(buffer, "present");
    ASSERT_EQ(buffer.CreateCacheFile(kUrl, u"html"), S_OK);
    std::filesystem::path file = nb::ToUtf8(buffer.CacheFileName());
    EXPECT_EQ(file.parent_path(), m_directory.Path());
    EXPECT_EQ(file.extension(), ".html");

    std::string later = Pattern(200000);
    ASSERT_EQ(WriteText(buffer, later), S_OK);
    EXPECT_EQ(buffer.Capacity(), 262144u);
    ASSERT_EQ(buffer.CommitCacheEntry(), S_OK);
    std::time_t committed_at = std::time(nullptr);

    EXPECT_TRUE(ReadFileBytes(file) == "present" + later) << "bytes read before are not mirrored";
    std::optional<nb::UrlCacheEntry> entry = nb::FindUrlCacheEntry(kUrl);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->local_file, buffer.CacheFileName());
    EXPECT_EQ(entry->header_info, u"HTTP/1.0 200 OK\r\n\r\n");
    EXPECT_EQ(entry->entry_type, NORMAL_CACHE_ENTRY);
    EXPECT_EQ(entry->file_extension, u"html");

    std::uint64_t local_now =
        (static_cast<std::uint64_t>(committed_at) + 19800) * kTicksPerSecond + kTicksFrom1601To1970;
    std::uint64_t modified = Ticks(entry->last_modified_time);
    EXPECT_LE(modified, local_now + kTicksPerSecond);
    EXPECT_GE(modified, local_now - 5 * kTicksPerSecond);
    std::uint64_t lifetime = Ticks(entry->expire_time) - modified;
    EXPECT_TRUE(lifetime == 365 * kTicksPerDay || lifetime == 366 * kTicksPerDay) << lifetime;

    EXPECT_EQ(buffer.CommitCacheEntry(), E_FAIL) << "the cache file is closed";
    EXPECT_EQ(WriteText(buffer, "after"), S_OK);
    EXPECT_TRUE(ReadFileBytes(file) == "present" + later);
}

TEST_F(BufferCacheTest, DestroyingTheBufferCommitsItsOpenCacheFile) {
    std::u16string file;
    {
        Buffer buffer = MakeBuffer();
        WriteText(buffer, "body { }");
        ASSERT_EQ(buffer.CreateCacheFile(u"x-mrs://ui/site.css", u"css"), S_OK);
        file = buffer.CacheFileName();
        EXPECT_FALSE(nb::FindUrlCacheEntry(u"x-mrs://ui/site.css").has_value());
    }
    std::optional<nb::UrlCacheEntry> entry = nb::FindUrlCacheEntry(u"x-mrs://ui/site.css");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->local_file, file);
    EXPECT_EQ(ReadFileBytes(nb::ToUtf8(file)), "body { }");
}

TEST_F(BufferCacheTest, ReplacingTheBufferCommitsItsOpenCacheFile) {
    std::optional<Buffer> slot = Buffer::Create(0);
    WriteText(*slot, "old page");
    ASSERT_EQ(slot->CreateCacheFile(kUrl, u"html"), S_OK);
    std::u16string file = slot->CacheFileName();
    slot = Buffer::Create(0);
    ASSERT_TRUE(slot.has_value());
    std::optional<nb::UrlCacheEntry> entry = nb::FindUrlCacheEntry(kUrl);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->local_file, file);
    EXPECT_EQ(ReadFileBytes(nb::ToUtf8(file)), "old page");
    EXPECT_EQ(WriteText(*slot, "new"), S_OK);
    EXPECT_TRUE(slot->CacheFileName().empty());
}

TEST_F(BufferCacheTest, CommitWithoutACacheFileFails) {
    Buffer buffer = MakeBuffer();
    EXPECT_EQ(buffer.CommitCacheEntry(), E_FAIL);
}

TEST_F(BufferCacheTest, ASecondCacheFileIsRefusedWhileOneIsOpen) {
    Buffer buffer = MakeBuffer();
    ASSERT_EQ(buffer.CreateCacheFile(kUrl, u"html"), S_OK);
    std::u16string first = buffer.CacheFileName();
    EXPECT_EQ(buffer.CreateCacheFile(kUrl, u"html"), E_FAIL);
    EXPECT_EQ(buffer.CacheFileName(), first);
    EXPECT_EQ(buffer.CommitCacheEntry(), S_OK);
}

TEST_F(BufferCacheTest, AFailedCacheFileDeletesTheUrlsEntryAndLeavesTheBufferWorking) {
    {
        Buffer earlier = MakeBuffer();
        ASSERT_EQ(earlier.CreateCacheFile(kUrl, u"html"), S_OK);
    }
    ASSERT_TRUE(nb::FindUrlCacheEntry(kUrl).has_value());

    Buffer buffer = MakeBuffer();
    WriteText(buffer, "abc");
    EXPECT_EQ(buffer.CreateCacheFile(kUrl, u"a/b"), E_FAIL);
    EXPECT_FALSE(nb::FindUrlCacheEntry(kUrl).has_value());
    EXPECT_TRUE(buffer.CacheFileName().empty());
    EXPECT_EQ(RegularFilesIn(m_directory.Path()), 0u);
    EXPECT_EQ(WriteText(buffer, "def"), S_OK);
    EXPECT_EQ(buffer.CommitCacheEntry(), E_FAIL);
    buffer.MarkComplete();
    EXPECT_EQ(ReadRest(buffer), "abcdef");
}

TEST_F(BufferCacheTest, ACacheDirectoryThatCannotBeMadeFailsTheCacheFile) {
    std::string not_a_directory = m_directory.Path() + "/plain";
    nb::test::WriteFileBytes(not_a_directory, "x");
    NbSetUrlCacheDirectory(not_a_directory.c_str());
    Buffer buffer = MakeBuffer();
    EXPECT_EQ(buffer.CreateCacheFile(kUrl, u"html"), E_FAIL);
    EXPECT_EQ(WriteText(buffer, "abc"), S_OK);
}

TEST_F(BufferCacheTest, AFailedMirrorWriteFailsTheWriteButKeepsTheBytes) {
    Buffer buffer = MakeBuffer();
    WriteText(buffer, "head");
    ASSERT_EQ(buffer.CreateCacheFile(kUrl, u"html"), S_OK);
    std::string data = Pattern(150000);
    {
        FileSizeLimit limit(100000);
        ASSERT_TRUE(limit.Active());
        EXPECT_EQ(WriteText(buffer, data), E_FAIL);
    }
    EXPECT_EQ(buffer.Unread(), 150004u);
    EXPECT_TRUE(buffer.CacheFileName().empty());
    EXPECT_EQ(RegularFilesIn(m_directory.Path()), 0u) << "the partial cache file is removed";
    EXPECT_EQ(WriteText(buffer, "tail"), S_OK);
    EXPECT_EQ(buffer.CommitCacheEntry(), E_FAIL);
    EXPECT_FALSE(nb::FindUrlCacheEntry(kUrl).has_value());
    buffer.MarkComplete();
    EXPECT_TRUE(ReadRest(buffer) == "head" + data + "tail");
}

TEST_F(BufferCacheTest, WritesInPlaceWhatTheFillProduced) {
    Buffer buffer = MakeBuffer();
    ASSERT_EQ(buffer.CreateCacheFile(kUrl, u"html"), S_OK);
    std::string later = Pattern(100000);
    auto fill_with = [](std::string_view bytes) {
        return [bytes](std::span<std::byte> into) {
            std::memcpy(into.data(), bytes.data(), bytes.size());
            return bytes.size();
        };
    };
    ASSERT_EQ(buffer.WriteInPlace(10, fill_with("abcd")), S_OK);
    ASSERT_EQ(buffer.WriteInPlace(10, fill_with("")), S_OK);
    ASSERT_EQ(buffer.WriteInPlace(later.size(), fill_with(later)), S_OK);
    EXPECT_EQ(buffer.Total(), 4 + later.size());
    std::filesystem::path file = nb::ToUtf8(buffer.CacheFileName());
    ASSERT_EQ(buffer.CommitCacheEntry(), S_OK);
    EXPECT_TRUE(ReadRest(buffer) == "abcd" + later);
    EXPECT_TRUE(ReadFileBytes(file) == "abcd" + later);
}

// Whether the cache file is a clone, a link or a copy of the source, it
// holds the source's bytes, and nothing written to the buffer afterwards
// ever reaches the source.
TEST_F(BufferCacheTest, ACacheFileOfASourceNeverWritesToIt) {
    nb::test::TemporaryDirectory pages;
    const std::string source = pages.Path() + "/page.html";
    const std::string bytes = Pattern(70000);
    std::ofstream(source, std::ios::binary) << bytes;
    nb::UniqueFd fd(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd.IsOpen());
    Buffer buffer = MakeBuffer();
    ASSERT_EQ(WriteText(buffer, bytes), S_OK);
    ASSERT_EQ(buffer.CreateCacheFileOf(kUrl, u"html", fd.Get()), S_OK);
    std::filesystem::path file = nb::ToUtf8(buffer.CacheFileName());
    EXPECT_TRUE(ReadFileBytes(file) == bytes);

    WriteText(buffer, "appended later");
    EXPECT_TRUE(ReadFileBytes(source) == bytes);
    buffer.CommitCacheEntry();
    EXPECT_TRUE(ReadFileBytes(source) == bytes);
}

TEST_F(BufferCacheTest, ADiscardedCacheFileLeavesTheEarlierEntry) {
    Buffer first = MakeBuffer();
    WriteText(first, "first");
    ASSERT_EQ(first.CreateCacheFile(kUrl, u"html"), S_OK);
    ASSERT_EQ(first.CommitCacheEntry(), S_OK);
    Buffer second = MakeBuffer();
    ASSERT_EQ(second.CreateCacheFile(kUrl, u"html"), S_OK);
    WriteText(second, "second");
    second.DiscardCacheFile();
    EXPECT_EQ(second.CommitCacheEntry(), E_FAIL);
    EXPECT_EQ(RegularFilesIn(m_directory.Path()), 1u);
    std::optional<nb::UrlCacheEntry> entry = nb::FindUrlCacheEntry(kUrl);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(ReadFileBytes(nb::ToUtf8(entry->local_file)), "first");
}

}  // namespace
