// EX_Transcode(input, output, [normalise], [interval]): decodes any media
// file's sound into a canonical wave file on a worker thread.
#include "external/audio/transcode_job.h"
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"

namespace nb::external::audio {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::Boolean, NbArgumentKind::Integer};

TranscodeRequest ReadRequest(const Worker& worker) {
    return {.input_path = PathArgument(worker, 0),
            .output_path = PathArgument(worker, 1),
            .normalise = BooleanArgument(worker, 2, true),
            .interval_ms = IntervalArgument(worker, 3)};
}

constexpr WorkerExport<TranscodeRequest> kTranscode{.name = u"Transcode",
                                                    .min_count = 2,
                                                    .max_count = 4,
                                                    .kinds = kKinds,
                                                    .read = ReadRequest,
                                                    .run = RunTranscode};

}  // namespace
}  // namespace nb::external::audio

NB_DEFINE_WORKER_FUNCTION(Transcode, nb::external::audio::kTranscode);
