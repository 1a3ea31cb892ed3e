// EX_GetTracksInfo(drive): each track of the disc in order, "DATA" for a
// data track or the length of an audio track in sectors.
#include "common/result_list.h"
#include "external/cd/disc_preamble.h"
#include "external/cd/disc_table.h"
#include "external/frame/export.h"

namespace nb::external::cd {
namespace {

HRESULT GetTracksInfo(const ExCall& call) {
    const auto entries = ReadDiscTable(call);
    if (!entries) return entries.error();
    const std::vector<TrackInfo> tracks = TracksInfo(*entries);
    if (!call.frame().result) return S_OK;
    return NbReturnList(call.frame().result, call.frame().exception, u"GetTracksInfo",
                        static_cast<int>(tracks.size()), [&tracks](const VARIANT& list, int index) {
                            const TrackInfo& track = tracks[index];
                            return track.data ? NB_ARRAY_ADDSTRING(&list, index, u"DATA")
                                              : NB_ARRAY_ADDINT(&list, index, track.sectors);
                        });
}

}  // namespace
}  // namespace nb::external::cd

NB_DEFINE_EX_FUNCTION(GetTracksInfo, nb::external::cd::GetTracksInfo);
