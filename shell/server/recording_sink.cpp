#include "shell/server/recording_sink.h"

#include <chrono>
#include <cstdio>

#include "platform/text/code_pages.h"

namespace nb::server {

const char* BindStatusName(ULONG code) {
    switch (code) {
        case BINDSTATUS_FINDINGRESOURCE:
            return "FINDINGRESOURCE";
        case BINDSTATUS_CONNECTING:
            return "CONNECTING";
        case BINDSTATUS_REDIRECTING:
            return "REDIRECTING";
        case BINDSTATUS_SENDINGREQUEST:
            return "SENDINGREQUEST";
        case BINDSTATUS_MIMETYPEAVAILABLE:
            return "MIMETYPEAVAILABLE";
        case BINDSTATUS_CACHEFILENAMEAVAILABLE:
            return "CACHEFILENAMEAVAILABLE";
        case BINDSTATUS_BEGINUPLOADDATA:
            return "BEGINUPLOADDATA";
        case BINDSTATUS_UPLOADINGDATA:
            return "UPLOADINGDATA";
        case BINDSTATUS_VERIFIEDMIMETYPEAVAILABLE:
            return "VERIFIEDMIMETYPEAVAILABLE";
        default:
            return "UNKNOWN";
    }
}

void RecordingSink::Emit(const std::string& line) {
    if (on_report) on_report(line);
}

void RecordingSink::ReportProgress(ULONG status_code, std::u16string_view text) {
    {
        std::lock_guard guard(m_lock);
        m_progress.push_back({status_code, std::u16string(text)});
    }
    Emit(std::string("progress ") + std::to_string(status_code) + " " +
         BindStatusName(status_code) + " " + nb::ToUtf8(text));
}

void RecordingSink::ReportData(DWORD flags, ULONG progress, ULONG progress_max) {
    {
        std::lock_guard guard(m_lock);
        m_data.push_back({flags, progress, progress_max});
    }
    m_changed.notify_all();
    Emit("data flags=" + std::to_string(flags) + " progress=" + std::to_string(progress) +
         " max=" + std::to_string(progress_max));
}

void RecordingSink::ReportResult(HRESULT result, DWORD error, std::u16string_view text) {
    {
        std::lock_guard guard(m_lock);
        m_results.push_back(result);
    }
    m_changed.notify_all();
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    Emit(std::string("result ") + code + " error=" + std::to_string(error) + " " +
         nb::ToUtf8(text));
}

HRESULT RecordingSink::OnResponse(DWORD status, std::u16string_view headers) {
    {
        std::lock_guard guard(m_lock);
        m_status = status;
        m_headers = headers;
    }
    Emit("status " + std::to_string(status) + "\n" + nb::ToUtf8(headers));
    return S_OK;
}

std::vector<ProgressReport> RecordingSink::Progress() const {
    std::lock_guard guard(m_lock);
    return m_progress;
}
std::vector<DataReport> RecordingSink::Data() const {
    std::lock_guard guard(m_lock);
    return m_data;
}
std::vector<HRESULT> RecordingSink::Results() const {
    std::lock_guard guard(m_lock);
    return m_results;
}
DWORD RecordingSink::Status() const {
    std::lock_guard guard(m_lock);
    return m_status;
}
std::u16string RecordingSink::Headers() const {
    std::lock_guard guard(m_lock);
    return m_headers;
}
std::u16string RecordingSink::ProgressText(ULONG code) const {
    std::lock_guard guard(m_lock);
    for (auto it = m_progress.rbegin(); it != m_progress.rend(); ++it) {
        if (it->code == code) return it->text;
    }
    return {};
}
std::size_t RecordingSink::DataCount() const {
    std::lock_guard guard(m_lock);
    return m_data.size();
}

bool RecordingSink::WaitForData(std::size_t seen, int timeout_ms) const {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                              [&] { return m_data.size() > seen; });
}

std::shared_ptr<SimpleBindInfo> SimpleBindInfo::Post(std::string body, DWORD bind_flags) {
    BindInfo info;
    info.verb = BindVerb::Post;
    info.medium = PostMedium::Memory;
    info.post_data_size = static_cast<DWORD>(body.size());
    info.post_data = std::move(body);
    return std::make_shared<SimpleBindInfo>(std::move(info), bind_flags);
}

HRESULT SimpleBindInfo::GetBindInfo(DWORD* bind_flags, BindInfo* info) {
    if (FAILED(bind_info_result)) return bind_info_result;
    *bind_flags = m_flags;
    *info = m_info;
    return S_OK;
}

HRESULT SimpleBindInfo::GetPostDataMime(std::optional<std::u16string>* mime) {
    *mime = post_mime;
    return post_mime_result;
}

FetchResult FetchAll(CProtocolHandler& handler, const std::u16string& url,
                     const std::shared_ptr<RecordingSink>& sink,
                     const std::shared_ptr<BindInfoSource>& bind_info, int timeout_ms) {
    FetchResult result;
    result.start_result = handler.Start(url.c_str(), sink, bind_info, 0, 0);
    if (result.start_result != S_OK) return result;
    char chunk[65536];
    for (;;) {
        std::size_t seen = sink->DataCount();
        ULONG count = 0;
        result.last_read = handler.Read(chunk, sizeof chunk, &count);
        result.body.append(chunk, count);
        if (result.last_read == S_OK) continue;
        if (result.last_read != E_PENDING) break;
        if (!sink->WaitForData(seen, timeout_ms)) break;
    }
    return result;
}

}  // namespace nb::server
