// EX_DownloadToFile(url, destination): downloads a URL into the URL cache on
// a worker thread and moves the complete file onto the destination.
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"
#include "external/net/download_job.h"

namespace nb::external::net {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String};

DownloadRequest ReadRequest(const Worker& worker) {
    return {.url = TextArgument(worker, 0), .destination = PathArgument(worker, 1)};
}

constexpr WorkerExport<DownloadRequest> kDownloadToFile{.name = u"DownloadToFile",
                                                        .min_count = 2,
                                                        .max_count = 2,
                                                        .kinds = kKinds,
                                                        .read = ReadRequest,
                                                        .run = RunDownload};

}  // namespace
}  // namespace nb::external::net

NB_DEFINE_WORKER_FUNCTION(DownloadToFile, nb::external::net::kDownloadToFile);
