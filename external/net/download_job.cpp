#include "external/net/download_job.h"

#include <optional>

#include "common/worker_protocol.h"
#include "external/net/answer_text.h"
#include "external/net/cache_file.h"
#include "external/net/curl_transfer.h"
#include "external/net/web_url.h"
#include "platform/kernel/fd_io.h"
#include "platform/text/code_pages.h"

namespace nb::external::net {
namespace {

constexpr long kMostRedirects = 20;
// libcurl's receive buffer: fewer, larger writes to the file (the curl
// command line uses the same size).
constexpr long kReceiveBufferBytes = 100 * 1024;

struct Download {
    CacheFile* file;
    AnswerHeaders headers;
};

std::size_t TakeHeader(char* data, std::size_t size, std::size_t count, void* download) {
    static_cast<Download*>(download)->headers.AddLine(std::string_view(data, size * count));
    return size * count;
}

// A write the disk refuses ends the transfer.
std::size_t TakeBody(char* data, std::size_t size, std::size_t count, void* download) {
    const std::size_t bytes = size * count;
    return WriteFully(static_cast<Download*>(download)->file->fd(), data, bytes) ? bytes : 0;
}

bool IsSuccess(long http_status) { return http_status >= 200 && http_status < 300; }

bool Configure(CURL* handle, const std::string& url, Download& download) {
    // No content coding is asked for: the file arrives as the server keeps it.
    return curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMostRedirects) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "") == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &TakeHeader) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_HEADERDATA, &download) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &TakeBody) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_WRITEDATA, &download) == CURLE_OK;
}

// True when the whole answer of a successful response is in the file.
bool Fetch(JobChannel& channel, const std::u16string& url, Download& download) {
    const std::string text = ToUtf8(url);
    const std::optional<WebUrl> parsed = ParseWebUrl(text);
    if (!parsed || !IsWebScheme(parsed->scheme)) return false;
    CurlEasy handle = NewTransfer();
    if (!handle || !Configure(handle.get(), text, download)) return false;
    StopWatch stop(channel);
    if (RunTransfer(handle.get(), stop) != CURLE_OK || stop.Stopped()) return false;
    long http_status = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &http_status);
    return IsSuccess(http_status);
}

DownloadStatus DownloadToFile(JobChannel& channel, const DownloadRequest& request) {
    std::optional<CacheFile> file = CacheFile::Create(request.url);
    if (!file) return kDownloadFailed;
    Download download{&*file, {}};
    if (!Fetch(channel, request.url, download) || !file->Close()) return kDownloadFailed;
    switch (file->MoveTo(request.destination, channel)) {
        case CacheFile::Move::Done:
            return kDownloadDone;
        case CacheFile::Move::Stopped:
            return kDownloadFailed;
        case CacheFile::Move::Refused:
            break;
    }
    file->KeepInCache(ToUtf16(download.headers.Text()));
    return kDownloadNotMoved;
}

}  // namespace

DWORD RunDownload(JobChannel& channel, const DownloadRequest& request) {
    channel.Notify(DownloadToFile(channel, request));
    return NB_WORKER_EXIT_NORMAL;
}

}  // namespace nb::external::net
