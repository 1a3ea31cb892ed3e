#include "external/cd/cdrip_loader.h"

#include "platform/kernel/program_paths.h"
#include "platform/ui/message_box.h"

namespace nb::external::cd {
namespace {

LPCWSTR InitFailureText(cdrip::InitStatus status) {
    switch (static_cast<int>(status)) {
        case 9:
            return u"CDEX_FAILEDTOLOADASPIDRIVERS";
        case 10:
            return u"CDEX_NATIVEEASPINOTSUPPORTED";
        case 11:
            return u"CDEX_FAILEDTOGETASPISTATUS";
        default:
            return u"CR_Init returned an unhandled error code";
    }
}

}  // namespace

std::string CdRipSettingsPath() { return TemporaryDirectory() + "/s2mcr.ini"; }

std::optional<cdrip::CdRipLibrary> LoadCDRipLibrary() {
    auto library = cdrip::CdRipLibrary::Init(CdRipSettingsPath());
    if (library) return std::move(*library);
    MessageBoxW(nullptr, InitFailureText(library.error()), u"CDRip.dll Error", MB_OK);
    return std::nullopt;
}

}  // namespace nb::external::cd
