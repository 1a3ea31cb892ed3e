// One HTTP exchange over libcurl, run to its end on the calling worker
// thread. A multi handle drives the easy handle in short polls, so the job's
// stop is seen within kStopCheckMs however long the server stays silent
// (libcurl's own progress callback slows to about once a second on an idle
// connection).
#pragma once

#include <curl/curl.h>

#include <memory>

#include "external/frame/job_channel.h"

namespace nb::external::net {

// How often a running transfer looks at the job's command.
constexpr long kStopCheckMs = 50;

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;

struct CurlListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListCleanup>;

// Appends a header line; false when the list cannot grow.
[[nodiscard]] bool AppendHeader(CurlList& list, const char* line);

// A handle with what every transfer of this library shares: HTTP and HTTPS
// only (redirects too), the system's certificate store and the proxy the
// environment names (libcurl's defaults), no signals, a minute to connect and
// at most a minute without a byte. Null when libcurl cannot give one.
CurlEasy NewTransfer();

// The job's command as callbacks and the driving loop see it; once a stop
// was seen the transfer counts as stopped, even if the command changes.
class StopWatch {
   public:
    explicit StopWatch(JobChannel& channel) : m_channel(channel) {}
    bool StopNow() {
        if (!m_stopped && m_channel.StopRequested()) m_stopped = true;
        return m_stopped;
    }
    bool Stopped() const { return m_stopped; }

   private:
    JobChannel& m_channel;
    bool m_stopped = false;
};

// Called between rounds of the transfer, on the same thread.
class TransferObserver {
   public:
    virtual ~TransferObserver() = default;
    virtual void AfterRound(CURL* handle) = 0;
};

// Runs the transfer until libcurl ends it or a stop comes; libcurl's result
// (CURLE_ABORTED_BY_CALLBACK after a stop). The stop watch tells the two apart.
CURLcode RunTransfer(CURL* handle, StopWatch& stop, TransferObserver* observer = nullptr);

}  // namespace nb::external::net
