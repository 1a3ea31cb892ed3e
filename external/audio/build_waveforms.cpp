// EX_BuildWaveforms(input, targets, [interval]): draws up to ten waveform
// pictures of a canonical wave file, one PNG per zoom level, on a worker
// thread.
#include <algorithm>

#include "common/error_report.h"
#include "common/native_vector.h"
#include "common/script_array.h"
#include "external/audio/waveform_columns.h"
#include "external/audio/waveform_job.h"
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"
#include "platform/text/code_pages.h"

namespace nb::external::audio {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::Array,
                                     NbArgumentKind::Integer};
constexpr UINT kTargetsIndex = 1;
constexpr WORD kErrorTargets = NB_ERROR_FUNCTION_FIRST;
constexpr LPCWSTR kMessageInvalidTargets = u"Catastrophic: Invalid target array";
constexpr LPCWSTR kMessageEmptyTargets = u"Catastrophic: Empty target array";

HRESULT CheckTargets(const ExCall& call) {
    LONG count = 0;
    // A length below zero is no length either.
    if (FAILED(NB_ARRAY_GETLENGTH(&call.Argument(kTargetsIndex), &count)) || count < 0)
        return call.Fail(kErrorTargets, kMessageInvalidTargets);
    if (count == 0) return call.Fail(kErrorTargets, kMessageEmptyTargets);
    return S_OK;
}

// Element level of the worker's copy of the array, when it is text.
std::optional<std::string> TargetPath(const VARIANT& targets, LONG level) {
    const VARIANT* element = nullptr;
    if (FAILED(NB_VECTOR_GETELEMENT(&targets, level, &element)) || element->vt != VT_BSTR)
        return std::nullopt;
    return ToUtf8(NbReadString(*element));
}

BuildWaveformsRequest ReadRequest(const Worker& worker) {
    BuildWaveformsRequest request;
    request.input_path = PathArgument(worker, 0);
    request.interval_ms = IntervalArgument(worker, 2);
    const VARIANT& targets = worker.Argument(kTargetsIndex);
    // An array whose length cannot be read here still gets ten levels; their
    // elements then fail one by one.
    LONG count = kWaveformLevels;
    if (FAILED(NB_VECTOR_LENGTH(&targets, &count))) count = kWaveformLevels;
    for (LONG level = 0; level < std::min<LONG>(count, kWaveformLevels); ++level)
        request.targets.push_back(TargetPath(targets, level));
    return request;
}

constexpr WorkerExport<BuildWaveformsRequest> kBuildWaveforms{.name = u"BuildWaveforms",
                                                              .min_count = 2,
                                                              .max_count = 3,
                                                              .kinds = kKinds,
                                                              .read = ReadRequest,
                                                              .run = RunBuildWaveforms,
                                                              .check = CheckTargets};

}  // namespace
}  // namespace nb::external::audio

NB_DEFINE_WORKER_FUNCTION(BuildWaveforms, nb::external::audio::kBuildWaveforms);
