// A GET or form POST whose status, response headers and text go to the
// script callback. The operation behind EX_RequestURL, independent of the
// thread that runs it.
#pragma once

#include <string>

#include "external/frame/job_channel.h"

namespace nb::external::net {

// The callback's first value. 3201, 3204, 3207 and 3208 name failures of
// the system's URL binding that libcurl cannot have; they are never given.
enum RequestStatus : DWORD {
    kRequestOk = 0,                // internal only: nothing to report yet
    kRequestBadUrl = 3200,         // the URL cannot be read
    kRequestNoTransfer = 3202,     // libcurl gave no handle
    kRequestNotConfigured = 3203,  // libcurl refused a setting
    kRequestNotStarted = 3205,     // a scheme other than http and https
    kRequestFailed = 3206,         // no answer came, or it broke off
    kRequestStopped = 3300,
    kRequestFinished = 3303,
};

struct UrlRequest {
    std::u16string url;
    std::u16string post_data;     // a POST when not empty
    std::u16string agent_suffix;  // after the system's user agent and a space
};

// Runs the request; the outcome reaches the channel as the final callback
// (3303, HTTP status, response headers, text) or one status call. Returns
// the worker's exit code.
DWORD RunUrlRequest(JobChannel& channel, const UrlRequest& request);

}  // namespace nb::external::net
