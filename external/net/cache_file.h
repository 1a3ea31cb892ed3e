// A download's file in the URL cache: written while the answer arrives,
// then moved onto the destination, or kept in the cache under its URL when
// the destination refuses it, or removed.
#pragma once

#include <optional>
#include <string>

#include "external/frame/job_channel.h"
#include "platform/kernel/unique_fd.h"

namespace nb::external::net {

class CacheFile {
   public:
    // A new, empty file in the cache directory, open for writing, named with
    // the extension of the URL's last path segment. Nothing when the cache
    // has no room for it.
    static std::optional<CacheFile> Create(const std::u16string& url);
    CacheFile(CacheFile&& other) noexcept;
    CacheFile& operator=(CacheFile&&) = delete;
    CacheFile(const CacheFile&) = delete;
    CacheFile& operator=(const CacheFile&) = delete;
    // Removes the file unless it was moved or kept.
    ~CacheFile();

    int fd() const { return m_fd.Get(); }
    const std::string& path() const { return m_path; }

    // Closes the file; false when the close reports a failed write.
    [[nodiscard]] bool Close();

    enum class Move { Done, Refused, Stopped };
    // Puts the closed file in the destination's place in one step, with the
    // permissions a new file gets. Across file systems the file is copied
    // beside the destination first (the stop is checked between blocks).
    Move MoveTo(const std::string& destination, JobChannel& channel);

    // Records the file in the cache under the URL, with the response
    // headers, and leaves it there.
    void KeepInCache(const std::u16string& headers);

   private:
    CacheFile(UniqueFd fd, std::string path, std::u16string url)
        : m_fd(std::move(fd)), m_path(std::move(path)), m_url(std::move(url)) {}

    Move CopyTo(const std::string& destination, JobChannel& channel);

    UniqueFd m_fd;
    std::string m_path;  // empty once moved, kept or handed on
    std::u16string m_url;
};

// The extension of the URL's last path segment when it is short and plain
// (letters and digits only), else none.
std::u16string CacheExtensionOf(std::u16string_view url);

}  // namespace nb::external::net
