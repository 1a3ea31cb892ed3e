#include "external/net/upload_job.h"

#include <string_view>

#include "common/application_host.h"
#include "common/worker_protocol.h"
#include "external/net/answer_text.h"
#include "external/net/multipart_body.h"
#include "external/net/upload_target.h"
#include "platform/text/code_pages.h"

namespace nb::external::net {
namespace {

constexpr const char* kUserAgent = "Nimbra HAPF/2.0";
// The answer reported is what one read of this many bytes gives.
constexpr std::size_t kAnswerBytes = 1024;

// One upload's exchange with libcurl: the body it asks for, the answer it
// hands over, and the report once the whole body has gone out.
class UploadTransfer final : public TransferObserver {
   public:
    UploadTransfer(UploadBody& body, UploadReport& report, StopWatch& stop, bool wait_for_answer)
        : m_body(body), m_report(report), m_stop(stop), m_wait_for_answer(wait_for_answer) {}

    [[nodiscard]] bool Configure(CURL* handle, const std::string& url) {
        m_referer = "http://" + ToUtf8(kApplicationHost) + "/";
        const std::string content_type =
            "Content-Type: multipart/form-data; boundary=" + m_body.Boundary();
        // No Accept line (none was ever asked for); Expect: 100-continue would
        // cost a second against servers that never answer it.
        return AppendHeader(m_headers, content_type.c_str()) &&
               AppendHeader(m_headers, "Connection: Close") &&
               AppendHeader(m_headers, "Pragma: no-cache") && AppendHeader(m_headers, "Accept:") &&
               AppendHeader(m_headers, "Expect:") &&
               curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_POST, 1L) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                                static_cast<curl_off_t>(m_body.TotalBytes())) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_READFUNCTION, &Read) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_READDATA, this) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_REFERER, m_referer.c_str()) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_HTTPHEADER, m_headers.get()) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &TakeHeader) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_HEADERDATA, this) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &TakeBody) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_WRITEDATA, this) == CURLE_OK;
    }

    // 3303 comes once libcurl has written the whole body to the connection.
    void AfterRound(CURL* handle) override {
        if (m_report.IsBodyReported() || !m_body.Finished()) return;
        curl_off_t uploaded = 0;
        curl_easy_getinfo(handle, CURLINFO_SIZE_UPLOAD_T, &uploaded);
        if (static_cast<std::uint64_t>(uploaded) < m_body.TotalBytes() || m_stop.StopNow()) return;
        m_report.BodySent(m_body.SentBytes(), m_wait_for_answer);
    }

    // True when the transfer ended because as much of the answer as is
    // reported had come.
    bool HadEnough() const { return m_enough; }
    const AnswerHeaders& headers() const { return m_answer_headers; }
    const std::string& answer() const { return m_answer; }

   private:
    static std::size_t Read(char* buffer, std::size_t size, std::size_t count, void* self) {
        auto& transfer = *static_cast<UploadTransfer*>(self);
        const std::optional<std::size_t> filled =
            transfer.m_body.Fill(buffer, size * count, transfer.m_report, transfer.m_stop);
        return filled ? *filled : CURL_READFUNC_ABORT;
    }

    // Ends the transfer on purpose: libcurl calls it a write error.
    std::size_t Enough() {
        m_enough = true;
        return 0;
    }

    static std::size_t TakeHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto& transfer = *static_cast<UploadTransfer*>(self);
        transfer.m_answer_headers.AddLine(std::string_view(data, size * count));
        // Without the answer wanted, the response's header block is all that
        // is waited for, as the server may stop working on a request whose
        // client left before its answer began.
        if (!transfer.m_wait_for_answer && transfer.m_answer_headers.Complete() &&
            transfer.m_body.Finished())
            return transfer.Enough();
        return size * count;
    }

    static std::size_t TakeBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto& transfer = *static_cast<UploadTransfer*>(self);
        if (!transfer.m_wait_for_answer || !transfer.m_body.Finished()) return transfer.Enough();
        std::string& answer = transfer.m_answer;
        answer.append(data, std::min(size * count, kAnswerBytes - answer.size()));
        return answer.size() == kAnswerBytes ? transfer.Enough() : size * count;
    }

    UploadBody& m_body;
    UploadReport& m_report;
    StopWatch& m_stop;
    const bool m_wait_for_answer;
    std::string m_referer;
    CurlList m_headers;
    AnswerHeaders m_answer_headers;
    std::string m_answer;
    bool m_enough = false;
};

class UploadJob {
   public:
    UploadJob(JobChannel& channel, const UploadRequest& request)
        : m_request(request),
          m_report(channel, request.interval_ms),
          m_body(request.paths, MakeBoundary()),
          m_stop(channel) {}

    DWORD Run() {
        if (!m_report.Prepare()) return NB_WORKER_EXIT_NO_ARGUMENTS;
        const UploadStatus status = Send();
        if (status == kUploadStopped)
            m_report.channel().Notify(kUploadStopped);
        else if (status != kUploadOk)
            m_report.Fail(status);
        if (status == kUploadOk && m_answer_missing) return NB_WORKER_EXIT_NO_ARGUMENTS;
        return NB_WORKER_EXIT_NORMAL;
    }

   private:
    UploadStatus Send() {
        if (!m_request.paths_readable) return kUploadNotSized;
        if (const UploadStatus sized = m_body.Size(m_report); sized != kUploadOk) return sized;
        if (m_stop.StopNow()) return kUploadStopped;
        m_report.Sized(m_body.TotalBytes());
        const Expected<std::string, TargetProblem> target = UploadTargetOf(ToUtf8(m_request.url));
        if (!target) return kUploadNoTarget;
        CurlEasy handle = NewTransfer();
        if (!handle) return kUploadNoTransfer;
        UploadTransfer transfer(m_body, m_report, m_stop, m_request.wait_for_answer);
        if (!transfer.Configure(handle.get(), *target)) return kUploadNotConfigured;
        const CURLcode result = RunTransfer(handle.get(), m_stop, &transfer);
        if (m_stop.Stopped()) return kUploadStopped;
        if (m_body.Failure() != kUploadOk) return m_body.Failure();
        if (!m_report.IsBodyReported())
            return m_body.Started() ? kUploadWriteFailed : kUploadNotSent;
        if (m_request.wait_for_answer && (result == CURLE_OK || transfer.HadEnough()))
            ReportAnswer(transfer);
        return kUploadOk;
    }

    // When the answer never came whole, no answer report is made.
    void ReportAnswer(const UploadTransfer& transfer) {
        if (!transfer.headers().Complete()) return;
        m_answer_missing = !m_report.Answer(ToUtf16(transfer.headers().Text()),
                                            DecodeAnswerText(transfer.answer()));
    }

    const UploadRequest& m_request;
    UploadReport m_report;
    UploadBody m_body;
    StopWatch m_stop;
    bool m_answer_missing = false;
};

}  // namespace

DWORD RunUpload(JobChannel& channel, const UploadRequest& request) {
    return UploadJob(channel, request).Run();
}

}  // namespace nb::external::net
