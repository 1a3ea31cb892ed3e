#include "external/net/request_job.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "external/frame/job_report.h"
#include "external/net/answer_text.h"
#include "external/net/curl_transfer.h"
#include "external/net/user_agent.h"
#include "external/net/web_url.h"
#include "platform/text/code_pages.h"

namespace nb::external::net {
namespace {

// The success callback: status, HTTP status, response headers, text.
constexpr CallbackLayout kLayout{.count = 4, .status = 1, .done = 0, .total = 0};
constexpr UINT kValueHttpStatus = 2;
constexpr UINT kValueHeaders = 3;
constexpr UINT kValueText = 4;
// Browsers give up after as many.
constexpr long kMostRedirects = 20;
constexpr const char* kFormType = "Content-Type: application/x-www-form-urlencoded; charset=UTF-8";

struct Answer {
    AnswerHeaders headers;
    std::string body;
    long status = 0;
};

std::size_t TakeHeader(char* data, std::size_t size, std::size_t count, void* answer) {
    static_cast<Answer*>(answer)->headers.AddLine(std::string_view(data, size * count));
    return size * count;
}

// The body grows in whole steps of the size the text was always collected in.
std::size_t TakeBody(char* data, std::size_t size, std::size_t count, void* answer) {
    constexpr std::size_t kStepBytes = 5120;
    std::string& body = static_cast<Answer*>(answer)->body;
    const std::size_t bytes = size * count;
    try {
        if (body.size() + bytes > body.capacity()) {
            const std::size_t wanted = std::max(body.size() + bytes, body.capacity() * 2);
            body.reserve((wanted + kStepBytes - 1) / kStepBytes * kStepBytes);
        }
        body.append(data, bytes);
    } catch (const std::bad_alloc&) {
        return 0;  // libcurl ends the transfer: the text cannot be kept
    }
    return bytes;
}

class RequestTransfer {
   public:
    RequestTransfer(const UrlRequest& request, Answer& answer)
        : m_url(ToUtf8(request.url)),
          m_post_data(ToUtf8(request.post_data)),
          m_agent(RequestUserAgent(ToUtf8(request.agent_suffix))),
          m_answer(answer) {}

    RequestStatus Run(JobChannel& channel) {
        const std::optional<WebUrl> url = ParseWebUrl(m_url);
        if (!url) return kRequestBadUrl;
        if (!IsWebScheme(url->scheme)) return kRequestNotStarted;
        CurlEasy handle = NewTransfer();
        if (!handle) return kRequestNoTransfer;
        if (!Configure(handle.get())) return kRequestNotConfigured;
        StopWatch stop(channel);
        if (stop.StopNow()) return kRequestStopped;
        const CURLcode result = RunTransfer(handle.get(), stop);
        if (stop.Stopped()) return kRequestStopped;
        if (result != CURLE_OK) return kRequestFailed;
        curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &m_answer.status);
        return kRequestFinished;
    }

   private:
    bool Configure(CURL* handle) {
        const bool configured =
            curl_easy_setopt(handle, CURLOPT_URL, m_url.c_str()) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_USERAGENT, m_agent.c_str()) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMostRedirects) == CURLE_OK &&
            // Cookies a redirect sets reach the next request, and no further.
            curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "") == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &TakeHeader) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_HEADERDATA, &m_answer) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &TakeBody) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_WRITEDATA, &m_answer) == CURLE_OK;
        return configured && (m_post_data.empty() || ConfigurePost(handle));
    }

    bool ConfigurePost(CURL* handle) {
        // Expect: 100-continue would cost a second against servers that never answer it.
        return AppendHeader(m_headers, kFormType) && AppendHeader(m_headers, "Expect:") &&
               curl_easy_setopt(handle, CURLOPT_HTTPHEADER, m_headers.get()) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                                static_cast<curl_off_t>(m_post_data.size())) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_POSTFIELDS, m_post_data.data()) == CURLE_OK;
    }

    const std::string m_url;
    const std::string m_post_data;
    const std::string m_agent;
    CurlList m_headers;
    Answer& m_answer;
};

}  // namespace

DWORD RunUrlRequest(JobChannel& channel, const UrlRequest& request) {
    JobReport report(channel, kLayout, 0);
    Answer answer;
    const RequestStatus status = RequestTransfer(request, answer).Run(channel);
    if (status != kRequestFinished) return report.End(status);
    if (!report.Prepare()) return report.End(0);
    report.Set(kValueHttpStatus, static_cast<LONG>(answer.status));
    channel.SetString(kValueHeaders, ToUtf16(answer.headers.Text()));
    channel.SetString(kValueText, DecodeAnswerText(answer.body));
    report.Finish(kRequestFinished, 0);
    return report.End(kRequestFinished);
}

}  // namespace nb::external::net
