#include "external/net/cache_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <utility>
#include <vector>

#include "external/frame/job_files.h"
#include "platform/kernel/fd_io.h"
#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"

namespace nb::external::net {
namespace {

constexpr std::size_t kLongestExtension = 16;
constexpr std::size_t kCopyBlockBytes = 1 << 20;
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kUsualUmask = 022;

bool IsPlain(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// The process's umask without changing it (umask(2) would, for every thread).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (!line.starts_with("Umask:")) continue;
        const std::size_t digits = line.find_first_of("01234567");
        unsigned int mask = kUsualUmask;
        if (digits != std::string::npos)
            std::from_chars(line.data() + digits, line.data() + line.size(), mask, 8);
        return static_cast<mode_t>(mask);
    }
    return kUsualUmask;
}

}  // namespace

std::u16string CacheExtensionOf(std::u16string_view url) {
    const std::size_t end = url.find_first_of(u"?#");
    const std::u16string_view path = url.substr(0, end);
    const std::size_t slash = path.rfind(u'/');
    const std::size_t dot = path.rfind(u'.');
    if (dot == std::u16string_view::npos || (slash != std::u16string_view::npos && dot < slash))
        return {};
    const std::u16string_view extension = path.substr(dot + 1);
    if (extension.empty() || extension.size() > kLongestExtension) return {};
    for (char16_t c : extension)
        if (!IsPlain(c)) return {};
    return std::u16string(extension);
}

std::optional<CacheFile> CacheFile::Create(const std::u16string& url) {
    char16_t name[kUrlCacheFileNameCapacity] = {};
    const std::u16string extension = CacheExtensionOf(url);
    if (!CreateUrlCacheEntryW(url.c_str(), 0, extension.c_str(), name, 0)) return std::nullopt;
    std::string path = ToUtf8(name);
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd.IsOpen()) {
        ::unlink(path.c_str());
        return std::nullopt;
    }
    return CacheFile(std::move(fd), std::move(path), url);
}

CacheFile::CacheFile(CacheFile&& other) noexcept
    : m_fd(std::move(other.m_fd)),
      m_path(std::exchange(other.m_path, std::string())),
      m_url(std::move(other.m_url)) {}

CacheFile::~CacheFile() {
    m_fd.Reset();
    if (!m_path.empty()) ::unlink(m_path.c_str());
}

bool CacheFile::Close() { return m_fd.Close(); }

CacheFile::Move CacheFile::MoveTo(const std::string& destination, JobChannel& channel) {
    if (destination.empty()) return Move::Refused;
    // The cache makes its files readable by their owner only; a download is
    // a new file like any other.
    if (::chmod(m_path.c_str(), kNewFileMode & ~CurrentUmask()) != 0) return Move::Refused;
    if (::rename(m_path.c_str(), destination.c_str()) == 0) {
        m_path.clear();
        return Move::Done;
    }
    if (errno != EXDEV) return Move::Refused;
    return CopyTo(destination, channel);
}

CacheFile::Move CacheFile::CopyTo(const std::string& destination, JobChannel& channel) {
    const UniqueFd source = OpenForReading(m_path);
    std::optional<StagedOutput> output = StagedOutput::Create(destination);
    if (!source.IsOpen() || !output) return Move::Refused;
    std::vector<char> block(kCopyBlockBytes);
    for (;;) {
        if (channel.StopRequested()) return Move::Stopped;
        const ReadResult read = ReadFully(source.Get(), block.data(), block.size());
        if (read.failed || !WriteFully(output->fd(), block.data(), read.bytes))
            return Move::Refused;
        if (read.bytes < block.size()) break;
    }
    if (!output->Commit()) return Move::Refused;
    ::unlink(m_path.c_str());
    m_path.clear();
    return Move::Done;
}

void CacheFile::KeepInCache(const std::u16string& headers) {
    const std::u16string path = ToUtf16(m_path);
    const std::u16string extension = CacheExtensionOf(m_url);
    if (CommitUrlCacheEntryW(m_url.c_str(), path.c_str(), {}, {}, NORMAL_CACHE_ENTRY,
                             headers.c_str(), static_cast<DWORD>(headers.size()), extension.c_str(),
                             nullptr))
        m_path.clear();
}

}  // namespace nb::external::net
