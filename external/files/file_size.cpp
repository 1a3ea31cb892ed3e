// EX_FileSize(path): the size of a file in bytes, as its low 32 bits.
#include <fcntl.h>
#include <sys/stat.h>

#include "common/error_report.h"
#include "external/frame/export.h"
#include "platform/kernel/unique_fd.h"
#include "platform/text/code_pages.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String};

HRESULT FileSize(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(1, 1, kKinds); FAILED(checked)) return checked;
    const LPCWSTR path = NbReadString(call.Argument(0));
    UniqueFd file;
    if (path) file.Reset(::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) return call.Fail(NB_ERROR_FILE_REQUEST, u"Catastrophic: File not found");
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        return call.Fail(NB_ERROR_FILE_REQUEST, u"Catastrophic: Cannot get file size");
    // A folder opens for reading here, but it has no size a script could
    // use: it is no file, so it is not found as one.
    if (S_ISDIR(info.st_mode))
        return call.Fail(NB_ERROR_FILE_REQUEST, u"Catastrophic: File not found");
    return call.ReturnInteger(static_cast<LONG>(static_cast<DWORD>(info.st_size)));
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(FileSize, nb::external::FileSize);
