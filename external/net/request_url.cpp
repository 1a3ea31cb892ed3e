// EX_RequestURL(url, [postData], [agentSuffix]): a GET, or a form POST when
// post data is given, on a worker thread; the callback receives the HTTP
// status, the response headers and the response text.
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"
#include "external/net/request_job.h"

namespace nb::external::net {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::String};

UrlRequest ReadRequest(const Worker& worker) {
    return {.url = TextArgument(worker, 0),
            .post_data = TextArgument(worker, 1),
            .agent_suffix = TextArgument(worker, 2)};
}

constexpr WorkerExport<UrlRequest> kRequestUrl{.name = u"RequestURL",
                                               .min_count = 1,
                                               .max_count = 3,
                                               .kinds = kKinds,
                                               .read = ReadRequest,
                                               .run = RunUrlRequest};

}  // namespace
}  // namespace nb::external::net

NB_DEFINE_WORKER_FUNCTION(RequestURL, nb::external::net::kRequestUrl);
