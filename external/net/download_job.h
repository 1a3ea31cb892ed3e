// A URL downloaded into the URL cache and moved onto its destination only
// once complete. The operation behind EX_DownloadToFile, independent of the
// thread that runs it.
#pragma once

#include <string>

#include "external/frame/job_channel.h"

namespace nb::external::net {

// The one status call a download ends with.
enum DownloadStatus : DWORD {
    kDownloadFailed = 3300,    // no complete answer, an HTTP error status, or a stop
    kDownloadNotMoved = 3301,  // complete, but kept in the cache: the destination refused it
    kDownloadDone = 3302,
};

struct DownloadRequest {
    std::u16string url;
    std::string destination;  // empty when the script gave none
};

// Runs the download. The destination changes only when the whole answer
// arrived: it is replaced in one step, so a failed or stopped download leaves
// it as it was. Returns the worker's exit code.
DWORD RunDownload(JobChannel& channel, const DownloadRequest& request);

}  // namespace nb::external::net
