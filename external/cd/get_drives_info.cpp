// EX_GetDrivesInfo(): the names of the CD drives, in drive index order.
#include <string>
#include <vector>

#include "common/result_list.h"
#include "external/cd/cdrip_loader.h"
#include "external/cd/disc_preamble.h"
#include "external/frame/export.h"
#include "platform/text/code_pages.h"

namespace nb::external::cd {
namespace {

HRESULT GetDrivesInfo(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(0, 0, {}); FAILED(checked)) return checked;
    std::optional<cdrip::CdRipLibrary> library = LoadCDRipLibrary();
    if (!library) return call.Fail(kErrorLibrary, u"Catastrophic: LoadCDRipLibrary() failed");
    std::vector<std::u16string> names;
    for (int drive = 0; drive < library->DriveCount(); ++drive) {
        library->SelectDrive(drive);
        names.push_back(ToUtf16(library->ReadDriveRecord().name));
    }
    if (!call.frame().result) return S_OK;
    return NbReturnStringList(call.frame().result, call.frame().exception, u"GetDrivesInfo", names);
}

}  // namespace
}  // namespace nb::external::cd

NB_DEFINE_EX_FUNCTION(GetDrivesInfo, nb::external::cd::GetDrivesInfo);
