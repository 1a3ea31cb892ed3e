// Mirroring a response buffer into a URL cache file and recording the entry.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>

#include "common/buffer.h"
#include "platform/kernel/fd_io.h"
#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"

namespace nb {

namespace {

constexpr std::u16string_view kCacheHeader = u"HTTP/1.0 200 OK\r\n\r\n";
constexpr std::int64_t kDaysFrom1601To1970 = 134774;
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kTicksPerMillisecond = 10'000;

// A local calendar time as a FILETIME, the way the cache records times. A
// date that does not exist (29 February a year on) moves to the month's end.
FILETIME ToFileTime(const std::tm& fields, long milliseconds) {
    using namespace std::chrono;
    year_month_day date{year{fields.tm_year + 1900}, month{unsigned(fields.tm_mon + 1)},
                        day{unsigned(fields.tm_mday)}};
    if (!date.ok()) date = year_month_day_last{date.year(), month_day_last{date.month()}};
    auto days =
        static_cast<std::uint64_t>(sys_days{date}.time_since_epoch().count() + kDaysFrom1601To1970);
    std::uint64_t seconds = days * 86400 + static_cast<std::uint64_t>(fields.tm_hour) * 3600 +
                            static_cast<std::uint64_t>(fields.tm_min) * 60 +
                            static_cast<std::uint64_t>(fields.tm_sec);
    std::uint64_t ticks =
        seconds * kTicksPerSecond + static_cast<std::uint64_t>(milliseconds) * kTicksPerMillisecond;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

struct CommitTimes {
    FILETIME last_modified;
    FILETIME expiry;
};

CommitTimes LocalCommitTimes() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm fields{};
    ::localtime_r(&now.tv_sec, &fields);
    long milliseconds = now.tv_nsec / 1'000'000;
    CommitTimes times{};
    times.last_modified = ToFileTime(fields, milliseconds);
    ++fields.tm_year;
    times.expiry = ToFileTime(fields, milliseconds);
    return times;
}

// The cache file at path, which CreateUrlCacheEntryW made empty, given the
// bytes. Not opened with O_TRUNC: ext4 takes a truncation to zero for a file
// being rewritten and flushes it on close, which cost milliseconds and made
// the removal of the entry's previous file wait for its write-back.
nb::UniqueFd CopyOf(const std::string& path, std::string_view bytes) {
    nb::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!file.IsOpen() || !nb::WriteFully(file.Get(), bytes)) return {};
    return file;
}

// The cache file at path made a clone of source: a file of its own, times
// included, sharing the blocks until either is written (Btrfs, XFS).
nb::UniqueFd CloneOf(const std::string& path, int source) {
    nb::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    // Mirrored writes go on after the cloned bytes.
    if (!file.IsOpen() || ::ioctl(file.Get(), FICLONE, source) != 0 ||
        ::lseek(file.Get(), 0, SEEK_END) < 0)
        return {};
    return file;
}

// The cache file at path replaced by a second link to source, when both lie
// on one file system and the system lets this user link it. The link is made
// through the descriptor, so it is the very file that was read. What is kept
// open is read-only: a later mirrored write fails and drops the cache file
// instead of reaching the source.
nb::UniqueFd LinkTo(const std::string& path, int source) {
    const std::string through = "/proc/self/fd/" + std::to_string(source);
    const std::string temporary = path + ".link";
    if (::linkat(AT_FDCWD, through.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return {};
    struct stat wanted {};
    struct stat linked {};
    nb::UniqueFd file(::open(temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.IsOpen() && ::fstat(source, &wanted) == 0 && ::fstat(file.Get(), &linked) == 0 &&
        wanted.st_dev == linked.st_dev && wanted.st_ino == linked.st_ino &&
        ::rename(temporary.c_str(), path.c_str()) == 0)
        return file;
    ::unlink(temporary.c_str());
    return {};
}

}  // namespace

HRESULT Buffer::CreateCacheFile(LPCWSTR url, LPCWSTR extension) {
    return MakeCacheFile(url, extension,
                         [this](const std::string& path) { return CopyOf(path, UnreadView()); });
}

HRESULT Buffer::CreateCacheFileOf(LPCWSTR url, LPCWSTR extension, int source) {
    return MakeCacheFile(url, extension, [this, source](const std::string& path) {
        nb::UniqueFd file = CloneOf(path, source);
        if (!file.IsOpen()) file = LinkTo(path, source);
        if (!file.IsOpen()) file = CopyOf(path, UnreadView());
        return file;
    });
}

HRESULT Buffer::MakeCacheFile(LPCWSTR url, LPCWSTR extension,
                              const std::function<nb::UniqueFd(const std::string&)>& fill) {
    if (!url) return E_FAIL;
    std::lock_guard lock(m_lock);
    if (m_cache_file.IsOpen()) return E_FAIL;
    char16_t name[kUrlCacheFileNameCapacity] = {};
    if (CreateUrlCacheEntryW(url, m_expected, extension, name, 0)) {
        std::string path = ToUtf8(name);
        nb::UniqueFd file = fill(path);
        if (file.IsOpen()) {
            m_cache_file = std::move(file);
            m_cache_file_name = name;
            m_cache_url = url;
            m_cache_extension = extension ? extension : u"";
            return S_OK;
        }
        ::unlink(path.c_str());
    }
    DeleteUrlCacheEntryW(url);
    m_cache_file_name.clear();
    m_cache_url.clear();
    m_cache_extension.clear();
    return E_FAIL;
}

HRESULT Buffer::CommitCacheEntry() {
    std::lock_guard lock(m_lock);
    if (!m_cache_file.IsOpen()) return E_FAIL;
    return CommitLocked();
}

HRESULT Buffer::CommitLocked() {
    if (!m_cache_file.Close()) {
        DropCacheFileLocked();
        return E_FAIL;
    }
    CommitTimes times = LocalCommitTimes();
    BOOL committed = CommitUrlCacheEntryW(
        m_cache_url.c_str(), m_cache_file_name.c_str(), times.expiry, times.last_modified,
        NORMAL_CACHE_ENTRY, kCacheHeader.data(), static_cast<DWORD>(kCacheHeader.size()),
        m_cache_extension.c_str(), nullptr);
    return committed ? S_OK : E_FAIL;
}

void Buffer::DiscardCacheFile() {
    std::lock_guard lock(m_lock);
    if (m_cache_file.IsOpen()) DropCacheFileLocked();
}

// A cache file that was never committed belongs to no entry, so nothing else
// will ever remove it.
void Buffer::DropCacheFileLocked() {
    m_cache_file.Close();
    ::unlink(ToUtf8(m_cache_file_name).c_str());
    m_cache_file_name.clear();
    m_cache_url.clear();
    m_cache_extension.clear();
}

}  // namespace nb
