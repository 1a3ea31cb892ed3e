// A sink that keeps every report of a request and lets the caller wait for
// data, for nbfetch, the tests and the benchmark: the browser side without
// a browser.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "shell/server/protocol_handler.h"
#include "shell/server/protocol_sink.h"

namespace nb::server {

struct ProgressReport {
    ULONG code;
    std::u16string text;
};
struct DataReport {
    DWORD flags;
    ULONG progress;
    ULONG progress_max;
};

class RecordingSink : public ProtocolSink, public HttpNegotiate {
   public:
    explicit RecordingSink(bool with_negotiator = true) : m_with_negotiator(with_negotiator) {}

    void ReportProgress(ULONG status_code, std::u16string_view text) override;
    void ReportData(DWORD flags, ULONG progress, ULONG progress_max) override;
    void ReportResult(HRESULT result, DWORD error, std::u16string_view text) override;
    HttpNegotiate* Negotiator() override { return m_with_negotiator ? this : nullptr; }
    HRESULT OnResponse(DWORD status, std::u16string_view headers) override;

    // Called for every report as it comes (from whichever thread makes it).
    std::function<void(const std::string& line)> on_report;

    // Copies of what was recorded so far.
    std::vector<ProgressReport> Progress() const;
    std::vector<DataReport> Data() const;
    std::vector<HRESULT> Results() const;
    // Status and header text of the last OnResponse; 0 and empty before one.
    DWORD Status() const;
    std::u16string Headers() const;
    std::u16string ProgressText(ULONG code) const;  // the last report of code

    // Waits until the count of data reports exceeds seen; false on timeout.
    bool WaitForData(std::size_t seen, int timeout_ms) const;
    std::size_t DataCount() const;

   private:
    void Emit(const std::string& line);

    bool m_with_negotiator;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<ProgressReport> m_progress;
    std::vector<DataReport> m_data;
    std::vector<HRESULT> m_results;
    DWORD m_status = 0;
    std::u16string m_headers;
};

// Bind information from values: a GET, or a POST of bytes held in memory.
class SimpleBindInfo : public BindInfoSource {
   public:
    SimpleBindInfo() = default;
    explicit SimpleBindInfo(BindInfo info, DWORD bind_flags = 0)
        : m_info(std::move(info)), m_flags(bind_flags) {}
    static std::shared_ptr<SimpleBindInfo> Post(std::string body, DWORD bind_flags = 0);

    HRESULT GetBindInfo(DWORD* bind_flags, BindInfo* info) override;
    HRESULT GetPostDataMime(std::optional<std::u16string>* mime) override;

    HRESULT bind_info_result = S_OK;
    HRESULT post_mime_result = E_FAIL;  // by default a form
    std::optional<std::u16string> post_mime;

   private:
    BindInfo m_info;
    DWORD m_flags = 0;
};

struct FetchResult {
    HRESULT start_result = S_OK;
    std::string body;
    HRESULT last_read = S_OK;
};

// Runs Start and reads to the end as the browser would: on E_PENDING it
// waits for the next data report. Terminate is left to the caller.
FetchResult FetchAll(CProtocolHandler& handler, const std::u16string& url,
                     const std::shared_ptr<RecordingSink>& sink,
                     const std::shared_ptr<BindInfoSource>& bind_info, int timeout_ms = 30000);

// The name of a progress code ("MIMETYPEAVAILABLE").
const char* BindStatusName(ULONG code);

}  // namespace nb::server
