// Status pages, response headers, and the files and resources a request is
// answered with.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <new>

#include "common/mime.h"
#include "platform/automation/com.h"
#include "platform/text/code_pages.h"
#include "shell/server/charset_tag.h"
#include "shell/server/protocol_handler.h"
#include "shell/server/status_pages.h"

namespace nb::server {
namespace {

// The path with every link resolved, or nothing when it does not exist.
std::optional<std::string> RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string result(resolved);
    ::free(resolved);
    return result;
}

bool IsInside(const std::string& path, const std::string& directory) {
    if (directory == "/") return !path.empty() && path[0] == '/';
    return path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
           path[directory.size()] == '/';
}

// A "." or ".." component would lead a URL out of its tree.
bool HasDotSegment(std::u16string_view path) {
    std::size_t start = 0;
    for (;;) {
        std::size_t end = path.find(u'/', start);
        std::u16string_view segment =
            path.substr(start, end == std::u16string_view::npos ? end : end - start);
        if (segment == u"." || segment == u"..") return true;
        if (end == std::u16string_view::npos) return false;
        start = end + 1;
    }
}

bool IsRegularFile(const std::string& path, std::uint64_t* size) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    *size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

// Reads and appends in pieces this large, straight into the buffer's storage.
constexpr std::size_t kPieceSize = 1 << 20;

void KeepHead(std::string& head, std::span<const std::byte> bytes) {
    if (head.size() < 4)
        head.append(reinterpret_cast<const char*>(bytes.data()),
                    std::min(4 - head.size(), bytes.size()));
}

bool SameFile(const struct stat& before, const struct stat& after) {
    return before.st_dev == after.st_dev && before.st_ino == after.st_ino &&
           before.st_size == after.st_size && before.st_mtim.tv_sec == after.st_mtim.tv_sec &&
           before.st_mtim.tv_nsec == after.st_mtim.tv_nsec;
}

// Appends the open file to its end, as Buffer::WriteFromFile does (a file
// that grew meanwhile is served whole). head receives the first bytes,
// which name the character set; total the bytes appended.
bool AppendFile(int fd, std::uint64_t size, Buffer& buffer, std::string& head,
                std::uint64_t& total) {
    bool failed = false;
    bool ended = false;
    total = 0;
    while (!ended) {
        // The storage holds the announced size; one more byte asks for the end
        // without making it grow.
        std::size_t room = total < size ? std::min<std::uint64_t>(kPieceSize, size - total)
                                        : (total == size ? 1 : kPieceSize);
        HRESULT written = buffer.WriteInPlace(room, [&](std::span<std::byte> into) -> std::size_t {
            ssize_t n = 0;
            do {
                n = ::read(fd, into.data(), into.size());
            } while (n < 0 && errno == EINTR);
            if (n <= 0) {
                failed = n < 0;
                ended = true;
                return 0;
            }
            KeepHead(head, into.first(static_cast<std::size_t>(n)));
            return static_cast<std::size_t>(n);
        });
        if (FAILED(written)) return false;
        total = buffer.Total();
    }
    return !failed;
}

}  // namespace

void CProtocolHandler::SendResponseHeaders(DWORD status, std::u16string_view content_type,
                                           std::uint32_t length) {
    if (!m_negotiator) return;
    m_negotiator->OnResponse(status, ResponseHeaderText(content_type, length));
}

void CProtocolHandler::StatusPage(DWORD status, std::u16string_view message) {
    std::u16string page = StatusPageText(message);
    auto bytes = static_cast<std::uint32_t>(page.size() * sizeof(char16_t));
    if (m_buffer) {
        m_buffer->Reset();
    } else {
        std::optional<Buffer> created = Buffer::Create(bytes);
        if (!created) return;
        m_buffer.emplace(std::move(*created));
        m_buffer->SetExpected(bytes);
    }
    m_buffer->WriteString(page);
    m_buffer->MarkComplete();
    SendResponseHeaders(status, kStatusPageContentType, m_buffer->Total());
    ReportProgress(BINDSTATUS_VERIFIEDMIMETYPEAVAILABLE, u"text/html");
    m_sink->ReportData(
        BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE,
        m_buffer->Total(), m_buffer->Expected());
}

void CProtocolHandler::StatusPageForCode(long status) {
    StatusMessage row = StatusMessageFor(status);
    StatusPage(row.status, row.message);
}

std::optional<CProtocolHandler::Content> CProtocolHandler::LocateContent() {
    const ParsedUrl& parts = *m_parts;
    const std::string base = nb::ToUtf8(parts.base_directory);
    if (HasDotSegment(parts.resource_name) || parts.library_name == u"." ||
        parts.library_name == u"..") {
        StatusPage(403, messages::kOutsideBase);
        return std::nullopt;
    }

    // The file in the "!" tree wins; a link may not lead out of the tree.
    const std::string file = nb::ToUtf8(parts.file_path);
    std::uint64_t size = 0;
    if (IsRegularFile(file, &size)) {
        std::optional<std::string> tree = RealPath(base + "/!");
        std::optional<std::string> real = RealPath(file);
        if (!tree || !real || !IsInside(*real, *tree)) {
            StatusPage(403, messages::kOutsideBase);
            return std::nullopt;
        }
        return Content{};
    }

    const std::string library_path = nb::ToUtf8(parts.library_path);
    std::optional<std::string> real_base = RealPath(base.empty() ? "/" : base);
    std::optional<std::string> real_library = RealPath(library_path);
    if (real_base && real_library && !IsInside(*real_library, *real_base)) {
        StatusPage(403, messages::kOutsideBase);
        return std::nullopt;
    }
    PeResourceLibrary::OpenResult opened = PeResourceLibrary::Open(library_path);
    if (!opened.library) {
        StatusPage(404, messages::kLoadLibraryFailed);
        return std::nullopt;
    }
    std::optional<ResourceEntry> entry =
        opened.library->Find(RT_HTML, ResourceId(parts.resource_name));
    if (!entry) {
        StatusPage(404, messages::kFindResourceFailed);
        return std::nullopt;
    }
    Content content;
    content.library = std::move(opened.library);
    content.entry = *entry;
    return content;
}

bool CProtocolHandler::WriteContent(Content& content, std::string& head) {
    return content.library ? WriteResource(content, head) : WriteFile(content, head);
}

bool CProtocolHandler::WriteFile(Content& content, std::string& head) {
    const std::string file = nb::ToUtf8(m_parts->file_path);
    content.file = UniqueFd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat before {};
    if (!content.file.IsOpen() || ::fstat(content.file.Get(), &before) != 0 ||
        !S_ISREG(before.st_mode) || static_cast<std::uint64_t>(before.st_size) > UINT32_MAX) {
        StatusPage(500, messages::kWriteFromFileFailed);
        return false;
    }
    auto size = static_cast<std::uint32_t>(before.st_size);
    std::optional<Buffer> created = Buffer::Create(size);
    if (!created) {
        StatusPage(500, messages::kWriteFromFileFailed);
        return false;
    }
    m_buffer.emplace(std::move(*created));
    m_buffer->SetExpected(size);
    std::uint64_t total = 0;
    if (!AppendFile(content.file.Get(), size, *m_buffer, head, total)) {
        StatusPage(500, messages::kWriteFromFileFailed);
        return false;
    }
    struct stat after {};
    content.file_unchanged =
        total == size && ::fstat(content.file.Get(), &after) == 0 && SameFile(before, after);
    return true;
}

bool CProtocolHandler::WriteResource(Content& content, std::string& head) {
    const PeResourceLibrary& library = *content.library;
    const ResourceEntry& entry = content.entry;
    // An empty read checks that the file holds the whole resource.
    if (!library.Read(entry, 0, {})) {
        StatusPage(404, messages::kLoadResourceFailed);
        return false;
    }
    const DWORD size = PeResourceLibrary::Size(entry);
    std::optional<Buffer> created = Buffer::Create(size);
    if (!created) {
        StatusPage(500, messages::kWriteFailed);
        return false;
    }
    m_buffer.emplace(std::move(*created));
    m_buffer->SetExpected(size);
    // Each piece goes into the cache file while it is fresh in memory,
    // instead of a second pass over the whole resource.
    if ((m_bind_flags & BINDF_NOWRITECACHE) == 0)
        content.mirrored =
            SUCCEEDED(m_buffer->CreateCacheFile(m_url.c_str(), m_parts->extension.c_str()));
    bool read = true;
    for (std::uint32_t at = 0; read && at < size;) {
        auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(kPieceSize, size - at));
        HRESULT written = m_buffer->WriteInPlace(piece, [&](std::span<std::byte> into) {
            read = library.Read(entry, at,
                                std::span(reinterpret_cast<std::uint8_t*>(into.data()), piece));
            if (!read) return std::size_t{0};
            KeepHead(head, into);
            return std::size_t{piece};
        });
        // E_FAIL: the cache file could not take the piece and was dropped;
        // the bytes are in the buffer all the same.
        if (FAILED(written) && written != E_FAIL) {
            m_buffer->DiscardCacheFile();
            StatusPage(500, messages::kWriteFailed);
            return false;
        }
        at += piece;
    }
    if (!read) {
        // The file was cut while it was read.
        m_buffer->DiscardCacheFile();
        StatusPage(404, messages::kLoadResourceFailed);
        return false;
    }
    return true;
}

// Makes the cache file of a complete buffer, unless it was filled along with
// it: a file of the "!" tree unchanged since it was read is shared rather
// than copied where the file system allows.
bool CProtocolHandler::MirrorContent(Content& content) {
    if (content.library) return content.mirrored;
    LPCWSTR url = m_url.c_str();
    LPCWSTR extension = m_parts->extension.c_str();
    return SUCCEEDED(content.file_unchanged
                         ? m_buffer->CreateCacheFileOf(url, extension, content.file.Get())
                         : m_buffer->CreateCacheFile(url, extension));
}

void CProtocolHandler::ServeContent(Content& content) {
    std::string head;
    if (!WriteContent(content, head)) return;
    m_buffer->MarkComplete();

    std::u16string plain_type;
    std::u16string typed_type;
    if ((m_bind_flags & BINDF_NOWRITECACHE) == 0) {
        bool cached = MirrorContent(content) && SUCCEEDED(m_buffer->CommitCacheEntry());
        if (!cached && (m_bind_flags & BINDF_NEEDFILE) != 0) {
            StatusPage(500, messages::kCachingFailedNeedFile);
            return;
        }
        if (cached) {
            if (LPWSTR type = MimeTypeForExtension(m_parts->extension.c_str())) {
                plain_type = type;
                CoTaskMemFree(type);
            }
            typed_type = TypedContentType(plain_type, head);
            SendResponseHeaders(200, typed_type, m_buffer->Total());
            ReportProgress(BINDSTATUS_CACHEFILENAMEAVAILABLE, m_buffer->CacheFileName());
        }
    }
    ReportProgress(BINDSTATUS_MIMETYPEAVAILABLE, typed_type);
    ReportProgress(BINDSTATUS_VERIFIEDMIMETYPEAVAILABLE, plain_type);
    m_sink->ReportData(
        BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE,
        m_buffer->Total(), m_buffer->Expected());
}

}  // namespace nb::server
