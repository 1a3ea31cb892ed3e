// CGI pages: the interpreter run, its header lines, and the reader thread
// that streams the body while the interpreter still writes.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/text/code_pages.h"
#include "shell/server/cgi_headers.h"
#include "shell/server/protocol_handler.h"
#include "shell/server/status_pages.h"

namespace nb::server {
namespace {

constexpr std::size_t kPostChunkSize = 8192;
constexpr std::size_t kFirstReadSize = 8;
constexpr std::size_t kHeaderReadSize = 1024;
constexpr std::size_t kBodyChunkSize = 8192;

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

HRESULT CProtocolHandler::RunCgi() {
    const ParsedUrl& parts = *m_parts;
    CgiRequestInfo request;
    request.parts = &parts;
    request.request_url = m_url;
    request.verb = m_bind_info.verb;
    request.post_data_size = m_bind_info.post_data_size;
    if (request.verb == BindVerb::Post) {
        request.post_mime_result = m_bind_source->GetPostDataMime(&request.post_mime);
    }
    request.cookies = m_settings.cookies->Get(CookieUrl());

    if (request.verb == BindVerb::Post && m_bind_info.medium != PostMedium::Memory &&
        m_bind_info.medium != PostMedium::Stream) {
        StatusPage(500, messages::kUnknownPostMedium);
        return S_OK;
    }

    std::vector<std::string> environment =
        SortedEnvironment(BuildCgiEnvironment(request, m_settings.environment));

    // The interpreter runs in the application's internals directory when it
    // has one, else in the base directory.
    std::string directory = nb::ToUtf8(parts.base_directory) + "/internals";
    if (!IsDirectory(directory))
        directory = nb::ToUtf8(parts.base_directory.empty() ? u"/" : parts.base_directory);

    m_process = std::make_unique<CgiProcess>();
    switch (m_process->Start(m_settings.interpreter, directory, environment)) {
        case SpawnError::None:
            break;
        case SpawnError::InputPipe:
            StatusPage(500, messages::kStdinPipe);
            return S_OK;
        case SpawnError::OutputPipe:
            StatusPage(500, messages::kStdoutPipe);
            return S_OK;
        case SpawnError::Process:
            StatusPage(500, messages::kCreateProcess);
            return S_OK;
    }

    if (request.verb == BindVerb::Post && !SendPostBody(*m_process)) {
        StatusPage(500, messages::kDiedWhileUploading);
        return S_OK;
    }
    m_process->CloseInput();
    return ReadCgiHeaders(*m_process);
}

bool CProtocolHandler::SendPostBody(CgiProcess& process) {
    // Before every chunk: an interpreter that has ended reads nothing more.
    if (m_bind_info.medium == PostMedium::Memory) {
        std::string_view body = m_bind_info.post_data;
        body = body.substr(0, m_bind_info.post_data_size);
        while (!body.empty()) {
            if (process.HasEnded()) return false;
            std::string_view chunk = body.substr(0, kPostChunkSize);
            if (!process.WriteInput(chunk.data(), chunk.size()))
                return !process.HasEndedWithin(200);
            body.remove_prefix(chunk.size());
        }
        return true;
    }
    PostStream* stream = m_bind_info.post_stream.get();
    std::uint64_t size = 0;
    if (!stream || !stream->Stat(&size) || !stream->SeekToStart()) return true;
    ReportProgress(BINDSTATUS_BEGINUPLOADDATA, u"");
    std::vector<char> chunk(kPostChunkSize);
    std::uint64_t written = 0;
    while (written < m_bind_info.post_data_size) {
        if (process.HasEnded()) return false;
        long n = stream->Read(chunk.data(), static_cast<ULONG>(chunk.size()));
        if (n <= 0) break;
        std::size_t count = std::min<std::uint64_t>(static_cast<std::size_t>(n),
                                                    m_bind_info.post_data_size - written);
        if (!process.WriteInput(chunk.data(), count)) return !process.HasEndedWithin(200);
        written += count;
        ReportProgress(BINDSTATUS_UPLOADINGDATA, u"");
    }
    return true;
}

HRESULT CProtocolHandler::ReadCgiHeaders(CgiProcess& process) {
    std::optional<Buffer> created = Buffer::Create(0);
    if (!created) {
        StatusPage(500, messages::kNoResponse);
        return S_OK;
    }
    m_buffer.emplace(std::move(*created));

    if (process.DiedWithoutOutput()) {
        StatusPage(500, messages::kDiedBeforeHeaders);
        return S_OK;
    }
    char first[kFirstReadSize];
    if (process.ReadOutputFully(first, sizeof first) != sizeof first) {
        StatusPage(500, messages::kNoResponse);
        return S_OK;
    }
    m_buffer->Write(first, sizeof first);
    char chunk[kHeaderReadSize];
    while (!m_buffer->HasHeaderEnd()) {
        long n = process.ReadOutput(chunk, sizeof chunk);
        if (n <= 0) break;
        m_buffer->Write(chunk, static_cast<std::size_t>(n));
    }

    const ParsedUrl& parts = *m_parts;
    std::string line;
    for (;;) {
        // Lines running out before the blank line: the output has ended (or
        // failed) without one, so no further line can come.
        if (ReadHeaderLine(*m_buffer, line) != S_OK) {
            StatusPage(500, messages::kMalformedHeaders);
            return S_OK;
        }
        if (line.empty()) break;
        HeaderLine header = ParseHeaderLine(line, parts.base_directory, parts.library_name);
        switch (header.kind) {
            case HeaderLineKind::ContentType:
                m_buffer->SetUtf8Prefix(header.value);
                ReportProgress(BINDSTATUS_MIMETYPEAVAILABLE, header.value);
                ReportProgress(BINDSTATUS_VERIFIEDMIMETYPEAVAILABLE, header.plain_type);
                m_content_type = header.value;
                break;
            case HeaderLineKind::ContentLength:
                m_content_length = static_cast<std::uint32_t>(header.number);
                m_buffer->SetExpected(m_content_length);
                break;
            case HeaderLineKind::SetCookie:
                m_settings.cookies->Set(CookieUrl(), header.value);
                break;
            case HeaderLineKind::Status:
                m_status = header.number;
                break;
            case HeaderLineKind::StatusPage:
                m_status = header.number;
                StatusPageForCode(header.number);
                StopCgi();
                return S_OK;
            case HeaderLineKind::Redirect:
                StopCgi();
                // Nothing more comes: a Read after the redirect ends at once.
                m_buffer->MarkComplete();
                ReportProgress(BINDSTATUS_REDIRECTING, header.value);
                return INET_E_REDIRECTING;
            case HeaderLineKind::Other:
                break;
        }
    }

    SendResponseHeaders(static_cast<DWORD>(m_status), m_content_type.value_or(u""),
                        m_content_length);
    if ((m_bind_flags & BINDF_NOWRITECACHE) == 0) {
        if (SUCCEEDED(m_buffer->CreateCacheFile(m_url.c_str(), parts.extension.c_str()))) {
            ReportProgress(BINDSTATUS_CACHEFILENAMEAVAILABLE, m_buffer->CacheFileName());
        } else if ((m_bind_flags & BINDF_NEEDFILE) != 0) {
            StatusPage(500, messages::kCgiCachingFailedNeedFile);
            StopCgi();
            return S_OK;
        }
    }
    StartReader();
    return S_OK;
}

void CProtocolHandler::StartReader() {
    // The body bytes that came with the headers are the start of the data.
    // Compacted here, before Read can take any of them on this thread.
    m_buffer->Compact();
    m_buffer->SetTotal(m_buffer->Unread());
    m_stop_event.Reset(::eventfd(0, EFD_CLOEXEC));
    m_reader = std::thread(ReaderLoop, &*m_buffer, m_sink, m_process->OutputDescriptor(),
                           m_stop_event.Get());
}

void CProtocolHandler::ReaderLoop(Buffer* buffer, std::shared_ptr<ProtocolSink> sink, int output,
                                  int stop) {
    const std::uint32_t expected = buffer->Expected();
    const DWORD unknown = expected == 0 ? BSCF_AVAILABLEDATASIZEUNKNOWN : 0;
    bool first = true;
    if (buffer->Total() != 0) {
        sink->ReportData(BSCF_FIRSTDATANOTIFICATION | unknown, buffer->Total(), expected);
        first = false;
    }

    std::vector<char> chunk(kBodyChunkSize + 1);
    bool stopped = false;
    for (;;) {
        pollfd watch[2] = {{output, POLLIN, 0}, {stop, POLLIN, 0}};
        if (::poll(watch, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (watch[1].revents != 0) {
            stopped = true;
            break;
        }
        ssize_t n = ::read(output, chunk.data(), kBodyChunkSize);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        buffer->Write(chunk.data(), static_cast<std::size_t>(n));
        sink->ReportData(
            (first ? BSCF_FIRSTDATANOTIFICATION : BSCF_INTERMEDIATEDATANOTIFICATION) | unknown,
            buffer->Total(), expected);
        first = false;
    }
    buffer->MarkComplete();
    // A stopped request has had its result; nothing follows it.
    if (!stopped) {
        sink->ReportData(BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE, buffer->Total(),
                         buffer->Total());
    }
}

void CProtocolHandler::StopCgi() {
    if (m_stop_event.IsOpen()) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_stop_event.Get(), &one, sizeof one);
    }
    if (m_process) m_process->Stop();
    // The reader notices the event at once; the pipe closes after it ended.
    if (m_reader.joinable()) m_reader.join();
    if (m_process) m_process->CloseOutput();
    m_process.reset();
    m_stop_event.Reset();
}

}  // namespace nb::server
