// EX_BTDiscover(any arguments, not read): finds the Bluetooth devices in
// range on a worker thread, one callback each.
#include <limits>

#include "external/bluetooth/discovery_job.h"
#include "external/frame/worker_export.h"

namespace nb::external::bluetooth {
namespace {

DiscoveryRequest ReadRequest(const Worker&) { return {}; }

constexpr WorkerExport<DiscoveryRequest> kBTDiscover{.name = u"BTDiscover",
                                                     .min_count = 0,
                                                     .max_count = std::numeric_limits<UINT>::max(),
                                                     .kinds = {},
                                                     .read = ReadRequest,
                                                     .run = RunDiscovery};

}  // namespace
}  // namespace nb::external::bluetooth

NB_DEFINE_WORKER_FUNCTION(BTDiscover, nb::external::bluetooth::kBTDiscover);
