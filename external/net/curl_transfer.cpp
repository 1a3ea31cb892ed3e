#include "external/net/curl_transfer.h"

namespace nb::external::net {
namespace {

constexpr long kConnectTimeoutSeconds = 60;
// A transfer that moves less than a byte a second for a minute has stalled.
constexpr long kLowSpeedBytes = 1;
constexpr long kLowSpeedSeconds = 60;
constexpr const char* kWebProtocols = "http,https";

struct CurlMultiCleanup {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using CurlMulti = std::unique_ptr<CURLM, CurlMultiCleanup>;

bool InitialiseOnce() {
    // Thread-safe in this libcurl (CURL_VERSION_THREADSAFE), and made once.
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return initialised;
}

bool Configure(CURL* handle) {
    return curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, kWebProtocols) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, kWebProtocols) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds) == CURLE_OK;
}

// The result libcurl gave the transfer, if it ended.
CURLcode TakeResult(CURLM* multi, CURL* handle, CURLcode otherwise) {
    int queued = 0;
    CURLcode result = otherwise;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued))
        if (message->msg == CURLMSG_DONE && message->easy_handle == handle)
            result = message->data.result;
    return result;
}

}  // namespace

bool AppendHeader(CurlList& list, const char* line) {
    curl_slist* longer = curl_slist_append(list.get(), line);
    if (!longer) return false;
    static_cast<void>(list.release());
    list.reset(longer);
    return true;
}

CurlEasy NewTransfer() {
    if (!InitialiseOnce()) return nullptr;
    CurlEasy handle(curl_easy_init());
    if (!handle || !Configure(handle.get())) return nullptr;
    return handle;
}

CURLcode RunTransfer(CURL* handle, StopWatch& stop, TransferObserver* observer) {
    CurlMulti multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), handle) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    CURLcode unfinished = CURLE_ABORTED_BY_CALLBACK;
    int running = 1;
    while (running && !stop.StopNow()) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            unfinished = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (observer) observer->AfterRound(handle);
        if (running &&
            curl_multi_poll(multi.get(), nullptr, 0, kStopCheckMs, nullptr) != CURLM_OK) {
            unfinished = CURLE_OUT_OF_MEMORY;
            break;
        }
    }
    const CURLcode result = TakeResult(multi.get(), handle, unfinished);
    curl_multi_remove_handle(multi.get(), handle);
    return result;
}

}  // namespace nb::external::net
