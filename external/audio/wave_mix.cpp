// EX_WaveMix(main, background, output, [interval]): lays a background sound
// under a main sound on a worker thread.
#include "external/audio/wave_mix_job.h"
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"

namespace nb::external::audio {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::String, NbArgumentKind::Integer};

WaveMixRequest ReadRequest(const Worker& worker) {
    return {.main_path = PathArgument(worker, 0),
            .background_path = PathArgument(worker, 1),
            .output_path = PathArgument(worker, 2),
            .interval_ms = IntervalArgument(worker, 3)};
}

constexpr WorkerExport<WaveMixRequest> kWaveMix{.name = u"WaveMix",
                                                .min_count = 3,
                                                .max_count = 4,
                                                .kinds = kKinds,
                                                .read = ReadRequest,
                                                .run = RunWaveMix};

}  // namespace
}  // namespace nb::external::audio

NB_DEFINE_WORKER_FUNCTION(WaveMix, nb::external::audio::kWaveMix);
