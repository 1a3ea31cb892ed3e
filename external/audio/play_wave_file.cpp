// EX_PlayWaveFile(file, [volume], [loop], [start], [length], [fadeIn],
// [fadeOut], [interval]): plays a stretch of a canonical wave file on a
// worker thread, whose id the playback controls take.
#include "external/audio/playback_job.h"
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"

namespace nb::external::audio {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String,  NbArgumentKind::Integer,
                                     NbArgumentKind::Boolean, NbArgumentKind::Integer,
                                     NbArgumentKind::Integer, NbArgumentKind::Integer,
                                     NbArgumentKind::Integer, NbArgumentKind::Integer};

PlaybackRequest ReadRequest(const Worker& worker) {
    return {.path = PathArgument(worker, 0),
            .volume_percent = UnsignedArgument(worker, 1, 100),
            .loop = BooleanArgument(worker, 2, false),
            .start_ms = UnsignedArgument(worker, 3, 0),
            .length_ms = UnsignedArgument(worker, 4, 0),
            .fade_in_ms = UnsignedArgument(worker, 5, 0),
            .fade_out_ms = UnsignedArgument(worker, 6, 0),
            .interval_ms = IntervalArgument(worker, 7)};
}

constexpr WorkerExport<PlaybackRequest> kPlayWaveFile{.name = u"PlayWaveFile",
                                                      .min_count = 1,
                                                      .max_count = 8,
                                                      .kinds = kKinds,
                                                      .read = ReadRequest,
                                                      .run = RunPlayback};

}  // namespace
}  // namespace nb::external::audio

NB_DEFINE_WORKER_FUNCTION(PlayWaveFile, nb::external::audio::kPlayWaveFile);
