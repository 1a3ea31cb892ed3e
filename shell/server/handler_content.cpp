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

// Appends the whole file to buffer, as Buffer::WriteFromFile does, in large
// pieces: its small ones cost a system call and a lock round per 10 KB, which
// doubled the time of serving a large file. head receives the first bytes,
// which name the character set.
bool CopyFileInto(const std::string& path, Buffer& buffer, std::string& head) {
    constexpr std::size_t kPieceSize = 1 << 20;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::unique_ptr<char[]> piece(new (std::nothrow) char[kPieceSize]);
    bool copied = piece != nullptr;
    head.clear();
    while (copied) {
        ssize_t n = ::read(fd, piece.get(), kPieceSize);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            copied = n == 0;
            break;
        }
        if (head.size() < 4)
            head.append(piece.get(),
                        std::min<std::size_t>(4 - head.size(), static_cast<std::size_t>(n)));
        copied = SUCCEEDED(buffer.Write(piece.get(), static_cast<std::size_t>(n)));
    }
    ::close(fd);
    return copied;
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
    return Content{std::move(opened.library), *entry};
}

bool CProtocolHandler::WriteContent(Content& content, std::string& head) {
    if (!content.library) {
        const std::string file = nb::ToUtf8(m_parts->file_path);
        std::uint64_t size = 0;
        if (!IsRegularFile(file, &size) || size > UINT32_MAX) {
            StatusPage(500, messages::kWriteFromFileFailed);
            return false;
        }
        std::optional<Buffer> created = Buffer::Create(static_cast<std::uint32_t>(size));
        if (!created) {
            StatusPage(500, messages::kWriteFromFileFailed);
            return false;
        }
        m_buffer.emplace(std::move(*created));
        m_buffer->SetExpected(static_cast<std::uint32_t>(size));
        if (!CopyFileInto(file, *m_buffer, head)) {
            StatusPage(500, messages::kWriteFromFileFailed);
            return false;
        }
        return true;
    }

    std::optional<std::span<const std::uint8_t>> bytes = content.library->Load(content.entry);
    if (!bytes) {
        StatusPage(404, messages::kLoadResourceFailed);
        return false;
    }
    auto size = static_cast<std::uint32_t>(bytes->size());
    std::optional<Buffer> created = Buffer::Create(size);
    if (!created) {
        StatusPage(500, messages::kWriteFailed);
        return false;
    }
    m_buffer.emplace(std::move(*created));
    m_buffer->SetExpected(size);
    if (FAILED(m_buffer->Write(bytes->data(), bytes->size()))) {
        StatusPage(500, messages::kWriteFailed);
        return false;
    }
    head.assign(reinterpret_cast<const char*>(bytes->data()),
                std::min<std::size_t>(4, bytes->size()));
    return true;
}

void CProtocolHandler::ServeContent(Content& content) {
    std::string head;
    if (!WriteContent(content, head)) return;
    m_buffer->MarkComplete();

    std::u16string plain_type;
    std::u16string typed_type;
    if ((m_bind_flags & BINDF_NOWRITECACHE) == 0) {
        bool cached =
            SUCCEEDED(m_buffer->CreateCacheFile(m_url.c_str(), m_parts->extension.c_str())) &&
            SUCCEEDED(m_buffer->CommitCacheEntry());
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
