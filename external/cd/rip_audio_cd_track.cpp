// EX_RipAudioCdTrack(drive, track, outputFile, [interval]): copies one audio
// track of a CD into a canonical wave file on a worker thread.
#include "external/cd/rip_track_job.h"
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"

namespace nb::external::cd {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::Integer, NbArgumentKind::Integer,
                                     NbArgumentKind::String, NbArgumentKind::Integer};

RipRequest ReadRequest(const Worker& worker) {
    return {.drive = IntegerArgument(worker, 0, 0),
            .track = IntegerArgument(worker, 1, 0),
            .output_path = PathArgument(worker, 2),
            .interval_ms = IntervalArgument(worker, 3)};
}

constexpr WorkerExport<RipRequest> kRipAudioCdTrack{.name = u"RipAudioCdTrack",
                                                    .min_count = 3,
                                                    .max_count = 4,
                                                    .kinds = kKinds,
                                                    .read = ReadRequest,
                                                    .run = RunRip};

}  // namespace
}  // namespace nb::external::cd

NB_DEFINE_WORKER_FUNCTION(RipAudioCdTrack, nb::external::cd::kRipAudioCdTrack);
