// EX_UploadFiles(url, files, [interval], [waitForAnswer]): sends files to a
// web server in one multipart/form-data POST on a worker thread, reporting
// progress, speeds and optionally the server's answer.
#include "common/error_report.h"
#include "common/native_vector.h"
#include "common/script_array.h"
#include "external/frame/job_arguments.h"
#include "external/frame/worker_export.h"
#include "external/net/upload_job.h"
#include "external/net/upload_target.h"

namespace nb::external::net {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::Array,
                                     NbArgumentKind::Integer, NbArgumentKind::Boolean};
constexpr UINT kFilesIndex = 1;
constexpr WORD kErrorFiles = NB_ERROR_FUNCTION_FIRST;
constexpr WORD kErrorTarget = NB_ERROR_FUNCTION_FIRST + 1;

// A path is a text without zero characters: a zero would cut the name the
// system is given short, and another file would be sent.
UploadPath PathOf(const VARIANT& element) {
    if (element.vt != VT_BSTR) return std::nullopt;
    std::u16string path = element.bstrVal
                              ? std::u16string(element.bstrVal, SysStringLen(element.bstrVal))
                              : std::u16string();
    if (path.find(u'\0') != std::u16string::npos) return std::nullopt;
    return path;
}

UploadRequest ReadRequest(const Worker& worker) {
    UploadRequest request;
    request.url = TextArgument(worker, 0);
    request.interval_ms = IntervalArgument(worker, 2);
    request.wait_for_answer = BooleanArgument(worker, 3, false);
    const VARIANT& files = worker.Argument(kFilesIndex);
    LONG count = 0;
    if (FAILED(NB_VECTOR_LENGTH(&files, &count))) {
        request.paths_readable = false;
        return request;
    }
    for (LONG index = 0; index < count; ++index) {
        const VARIANT* element = nullptr;
        const bool read = SUCCEEDED(NB_VECTOR_GETELEMENT(&files, index, &element));
        request.paths.push_back(read ? PathOf(*element) : std::nullopt);
    }
    return request;
}

HRESULT CheckFilesAndTarget(const ExCall& call) {
    LONG count = 0;
    if (FAILED(NB_ARRAY_GETLENGTH(&call.Argument(kFilesIndex), &count)))
        return call.Fail(kErrorFiles, u"Catastrophic: Invalid array");
    if (count <= 0) return call.Fail(kErrorFiles, u"Catastrophic: Empty array: No files to upload");
    const Expected<std::string, TargetProblem> target =
        UploadTargetOf(ToUtf8(TextArgument(call, 0)));
    if (target) return S_OK;
    if (target.error() == TargetProblem::Unreadable)
        return call.Fail(kErrorTarget, u"Catastrophic: Cannot parse target URL");
    return call.Fail(kErrorTarget, u"Catastrophic: Incorrect scheme (only http supported)");
}

constexpr WorkerExport<UploadRequest> kUploadFiles{.name = u"UploadFiles",
                                                   .min_count = 2,
                                                   .max_count = 4,
                                                   .kinds = kKinds,
                                                   .read = ReadRequest,
                                                   .run = RunUpload,
                                                   .check = CheckFilesAndTarget};

}  // namespace
}  // namespace nb::external::net

NB_DEFINE_WORKER_FUNCTION(UploadFiles, nb::external::net::kUploadFiles);
