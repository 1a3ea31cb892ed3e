// Large files and resources served and mirrored into the URL cache: the
// mirror holds the very bytes served, shares a file of the "!" tree where
// the file system allows and copies it where it does not, and a cut
// resource library is refused.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"
#include "shell/server/status_pages.h"
#include "shell/server/tests/server_fixture.h"

namespace nb::server::testing {
namespace {

namespace fs = std::filesystem;

// More than one of the pieces the server reads in, and not a multiple of them.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + i / 4093);
    return bytes;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

struct stat StatOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status;
}

// The cache's data file for url, checked to hold bytes.
std::string MirrorOf(const std::u16string& url, const std::string& bytes) {
    std::optional<UrlCacheEntry> entry = FindUrlCacheEntry(url);
    if (!entry) {
        ADD_FAILURE() << "no cache entry";
        return {};
    }
    std::string file = nb::ToUtf8(entry->local_file);
    EXPECT_TRUE(ReadWhole(file) == bytes) << "the mirror differs from what was served";
    return file;
}

TEST_F(ServerTest, MirrorsAResourceByteForByte) {
    const std::string bytes = Pattern((5u << 19) + 3);
    BuildLibrary("lib", {{"big.bin", bytes}});
    Response response = Fetch(Url("lib/big.bin"));
    EXPECT_EQ(response.sink->Status(), 200u);
    EXPECT_TRUE(response.fetch.body == bytes);
    std::string mirror = MirrorOf(Url("lib/big.bin"), bytes);
    EXPECT_EQ(nb::ToUtf8(response.sink->ProgressText(BINDSTATUS_CACHEFILENAMEAVAILABLE)), mirror);
}

TEST_F(ServerTest, MirrorsAFileByLinkOnItsFileSystemAndByCopyElsewhere) {
    const std::string bytes = Pattern((3u << 19) + 5);
    WritePage("ui/big.bin", bytes);
    const std::string source = m_base + "/!/ui/big.bin";

    Response linked = Fetch(Url("ui/big.bin"));
    EXPECT_TRUE(linked.fetch.body == bytes);
    std::string mirror = MirrorOf(Url("ui/big.bin"), bytes);
    EXPECT_EQ(StatOf(mirror).st_ino, StatOf(source).st_ino) << "linked, not copied";
    // Dropping the entry takes the cache's link, never the page.
    EXPECT_TRUE(DeleteUrlCacheEntryW(Url("ui/big.bin").c_str()));
    EXPECT_TRUE(ReadWhole(source) == bytes);

    // No link reaches from one file system to another.
    if (!fs::is_directory("/dev/shm") || StatOf("/dev/shm").st_dev == StatOf(m_base).st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    char pattern[] = "/dev/shm/nb_server_cache_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    NbSetUrlCacheDirectory(pattern);
    Response copied = Fetch(Url("ui/big.bin"));
    EXPECT_TRUE(copied.fetch.body == bytes);
    EXPECT_EQ(copied.sink->Status(), 200u);
    std::string copy = MirrorOf(Url("ui/big.bin"), bytes);
    EXPECT_EQ(StatOf(copy).st_nlink, 1u);
    NbSetUrlCacheDirectory(nullptr);
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
}

TEST_F(ServerTest, RefusesACutResourceLibrary) {
    const std::string bytes = Pattern(200000);
    struct Case {
        const char* library;
        std::uintmax_t keep;  // bytes left of the file; 0: cut inside the resource
        std::u16string_view message;
    };
    const Case cases[] = {
        {"headers", 100, messages::kLoadLibraryFailed},
        {"data", 0, messages::kLoadResourceFailed},
    };
    for (const Case& c : cases) {
        BuildLibrary(c.library, {{"big.bin", bytes}});
        const std::string path = m_base + "/" + c.library + ".dll";
        std::string whole = ReadWhole(path);
        std::size_t data = whole.find(bytes.substr(0, 64));
        ASSERT_NE(data, std::string::npos);
        fs::resize_file(path, c.keep ? c.keep : data + bytes.size() / 2);
        const std::u16string url = Url(std::string(c.library) + "/big.bin");
        Response response = Fetch(url);
        EXPECT_EQ(response.fetch.body, StatusPageBytes(c.message)) << c.library;
        EXPECT_EQ(response.sink->Status(), 404u) << c.library;
        EXPECT_FALSE(FindUrlCacheEntry(url)) << c.library;
    }
}

}  // namespace
}  // namespace nb::server::testing
