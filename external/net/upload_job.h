// Files sent to a web server in one HTTP/1.0 multipart/form-data POST, with
// progress, speeds and optionally the server's answer reported to the
// callback. The operation behind EX_UploadFiles, independent of the thread
// that runs it.
#pragma once

#include <string>
#include <vector>

#include "external/net/upload_body.h"

namespace nb::external::net {

struct UploadRequest {
    std::u16string url;
    std::vector<UploadPath> paths;
    bool paths_readable = true;  // false when the list's length could not be read
    DWORD interval_ms = 200;
    bool wait_for_answer = false;
};

// Runs the upload; every outcome reaches the channel as callbacks or the one
// status call of a stop. Returns the worker's exit code.
DWORD RunUpload(JobChannel& channel, const UploadRequest& request);

}  // namespace nb::external::net
