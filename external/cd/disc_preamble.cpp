#include "external/cd/disc_preamble.h"

#include "external/cd/cdrip_loader.h"

namespace nb::external::cd {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::Integer};

}  // namespace

Expected<std::vector<cdrip::TocEntry>, HRESULT> ReadDiscTable(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(1, 1, kKinds); FAILED(checked))
        return Unexpected(checked);
    const auto drive = static_cast<int>(*NbReadInteger(call.Argument(0)));
    std::optional<cdrip::CdRipLibrary> library = LoadCDRipLibrary();
    if (!library)
        return Unexpected(call.Fail(kErrorLibrary, u"Catastrophic: LoadCDRipLibrary() failed"));
    // A negative index names no drive either.
    if (!library->SelectDrive(drive))
        return Unexpected(call.Fail(kErrorDriveNotFound, u"Catastrophic: Drive not found"));
    switch (library->CheckMedia()) {
        case cdrip::MediaCheck::kFailed:
            return Unexpected(call.Fail(kErrorLibrary, u"Catastrophic: CR_IsMediaLoaded() failed"));
        case cdrip::MediaCheck::kAbsent:
            return Unexpected(call.Fail(kErrorNoDisc, u"Catastrophic: No Disk in Drive"));
        case cdrip::MediaCheck::kPresent:
            break;
    }
    if (!library->ReadToc() || library->TocEntryCount() < 1)
        return Unexpected(call.Fail(kErrorNotAudioCd, u"Catastrophic: Not an Audio CD"));
    std::vector<cdrip::TocEntry> entries;
    for (int index = 0; index <= library->TocEntryCount(); ++index)
        entries.push_back(library->ReadTocEntry(index));
    return entries;
}

}  // namespace nb::external::cd
