// EX_BTSend(address, file, objectName, [interval]): pushes a file to a phone
// (or an OBEX server at host:port) by OBEX Object Push on a worker thread.
#include "external/bluetooth/send_job.h"
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"

namespace nb::external::bluetooth {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::String, NbArgumentKind::Integer};

SendRequest ReadRequest(const Worker& worker) {
    return {.target = TextArgument(worker, 0),
            .path = PathArgument(worker, 1),
            .object_name = TextArgument(worker, 2),
            .interval_ms = IntervalArgument(worker, 3)};
}

constexpr WorkerExport<SendRequest> kBTSend{.name = u"BTSend",
                                            .min_count = 3,
                                            .max_count = 4,
                                            .kinds = kKinds,
                                            .read = ReadRequest,
                                            .run = RunSend};

}  // namespace
}  // namespace nb::external::bluetooth

NB_DEFINE_WORKER_FUNCTION(BTSend, nb::external::bluetooth::kBTSend);
