#include "external/net/upload_body.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/mime.h"
#include "external/net/multipart_body.h"
#include "platform/kernel/fd_io.h"
#include "platform/text/code_pages.h"

namespace nb::external::net {
namespace {

// Never waits: a named pipe put in a file's place must not hold the worker.
UniqueFd OpenFile(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

bool IsPlainFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

UploadStatus UploadBody::Size(UploadReport& report) {
    report.SetFileCount(m_paths.size());
    m_files.clear();
    m_total_bytes = 0;
    for (std::size_t index = 0; index < m_paths.size(); ++index) {
        if (!m_paths[index]) return kUploadNotSized;
        const std::u16string& path = *m_paths[index];
        SizedFile file{ToUtf8(path), {}, 0};
        const UniqueFd fd = OpenFile(file.path);
        struct stat info {};
        if (!fd.IsOpen()) {
            report.SetPath(path);
            return kUploadNotSized;
        }
        if (::fstat(fd.Get(), &info) != 0) {
            report.SetPath(path);
            return kUploadSizeUnknown;
        }
        // A folder, a device or a pipe has no size to declare.
        if (!S_ISREG(info.st_mode)) {
            report.SetPath(path);
            return kUploadNotSized;
        }
        file.bytes = static_cast<std::uint64_t>(info.st_size);
        file.header =
            PartHeader(m_boundary, index, file.path, ToUtf8(MimeTypeForFileName(path.c_str())));
        m_total_bytes += PartBytes(file.header, file.bytes);
        m_files.push_back(std::move(file));
    }
    m_total_bytes += ClosingDelimiter(m_boundary).size();
    return kUploadOk;
}

std::optional<std::size_t> UploadBody::Fill(char* buffer, std::size_t capacity,
                                            UploadReport& report, StopWatch& stop) {
    if (!m_started) {
        m_started = true;
        report.BeginSending();
    }
    std::size_t written = 0;
    while (written < capacity && m_phase != Phase::Done) {
        bool going = true;
        switch (m_phase) {
            case Phase::FileStart:
                going = StartFile(report, stop);
                break;
            case Phase::Header:
                going = CopyPending(buffer, capacity, written, Phase::Data);
                break;
            case Phase::Data:
                going = SendChunks(buffer, capacity, written, report, stop);
                break;
            case Phase::PartEnd:
                going = CopyPending(buffer, capacity, written, Phase::FileStart);
                break;
            case Phase::Closing:
                going = CopyPending(buffer, capacity, written, Phase::Done);
                break;
            case Phase::Done:
                break;
        }
        if (!going) return std::nullopt;
    }
    return written;
}

bool UploadBody::StartFile(UploadReport& report, StopWatch& stop) {
    if (m_file == m_files.size()) {
        m_pending = ClosingDelimiter(m_boundary);
        m_pending_at = 0;
        m_phase = Phase::Closing;
        return true;
    }
    if (stop.StopNow()) return false;
    report.FileStarted(m_file, *m_paths[m_file], m_sent);
    const SizedFile& file = m_files[m_file];
    m_fd = OpenFile(file.path);
    if (!m_fd.IsOpen() || !IsPlainFile(m_fd.Get())) return Fail(kUploadNotOpened);
    // The body announced the size measured before: that many bytes go, so
    // the body keeps its declared length even when the file changed since.
    m_file_left = file.bytes;
    m_pending = file.header;
    m_pending_at = 0;
    m_phase = Phase::Header;
    return true;
}

bool UploadBody::CopyPending(char* buffer, std::size_t capacity, std::size_t& written, Phase next) {
    const std::size_t count = std::min(m_pending.size() - m_pending_at, capacity - written);
    m_pending.copy(buffer + written, count, m_pending_at);
    written += count;
    m_pending_at += count;
    m_sent += count;
    if (m_pending_at < m_pending.size()) return true;
    // After a part's CR LF the next file begins.
    if (m_phase == Phase::PartEnd) ++m_file;
    m_phase = next;
    return true;
}

bool UploadBody::SendChunks(char* buffer, std::size_t capacity, std::size_t& written,
                            UploadReport& report, StopWatch& stop) {
    if (m_file_left == 0) {
        m_fd.Reset();
        m_pending.assign(kPartEnd);
        m_pending_at = 0;
        m_phase = Phase::PartEnd;
        return true;
    }
    // As many chunks as libcurl has room for arrive in one read; each is then
    // accounted, checked for a stop and reported on its own.
    const std::size_t run =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_file_left, capacity - written));
    const ReadResult read = ReadFully(m_fd.Get(), buffer + written, run);
    if (read.failed || read.bytes < run) return Fail(kUploadReadFailed);
    for (std::size_t done = 0; done < run;) {
        const std::size_t chunk = std::min(kUploadChunkBytes, run - done);
        done += chunk;
        written += chunk;
        m_sent += chunk;
        m_file_left -= chunk;
        if (stop.StopNow()) return false;
        report.ChunkSent(m_sent);
    }
    return true;
}

bool UploadBody::Fail(UploadStatus status) {
    m_failure = status;
    return false;
}

}  // namespace nb::external::net
