// EX_GetSpecialFolderPath(name): a well-known folder by name.
#include "common/error_report.h"
#include "external/files/special_folders.h"
#include "external/frame/export.h"
#include "platform/text/code_pages.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String};

HRESULT GetSpecialFolderPath(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(1, 1, kKinds); FAILED(checked)) return checked;
    const LPCWSTR name = NbReadString(call.Argument(0));
    const FolderAnswer answer =
        name ? FindSpecialFolder(name) : FolderAnswer{FolderStatus::UnknownName, {}};
    switch (answer.status) {
        case FolderStatus::Found:
            return call.ReturnString(ToUtf16(answer.path));
        case FolderStatus::UnknownName:
            return call.Fail(NB_ERROR_FILE_REQUEST, u"Catastrophic: Invalid CSIDL; Not found!");
        case FolderStatus::Unavailable:
            break;
    }
    return call.Fail(NB_ERROR_FILE_REQUEST, u"Catastrophic: SHGetSpecialFolderPath() failed");
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(GetSpecialFolderPath, nb::external::GetSpecialFolderPath);
