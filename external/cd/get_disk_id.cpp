// EX_GetDiskId(drive): the disc database identifier of the disc, its track
// count, each track's offset in frames and the disc's length in seconds.
#include "common/result_list.h"
#include "external/cd/disc_preamble.h"
#include "external/cd/disc_table.h"
#include "external/frame/export.h"

namespace nb::external::cd {
namespace {

HRESULT GetDiskId(const ExCall& call) {
    const auto entries = ReadDiscTable(call);
    if (!entries) return entries.error();
    const std::vector<LONG> identity = DiscIdentity(*entries);
    if (!call.frame().result) return S_OK;
    return NbReturnIntegerList(call.frame().result, call.frame().exception, u"GetDiskId", identity);
}

}  // namespace
}  // namespace nb::external::cd

NB_DEFINE_EX_FUNCTION(GetDiskId, nb::external::cd::GetDiskId);
