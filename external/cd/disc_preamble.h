// What EX_GetTracksInfo and EX_GetDiskId do first, in this order: one
// integer argument, the library loaded, the drive found and holding a disc,
// and its table of contents read. Any failure is the function's error
// report; the library is let go on every path.
#pragma once

#include <vector>

#include "external/frame/call_frame.h"
#include "platform/cdrip/cdrip.h"
#include "platform/kernel/expected.h"

namespace nb::external::cd {

constexpr WORD kErrorDriveNotFound = 3100;
constexpr WORD kErrorNoDisc = 3102;
constexpr WORD kErrorNotAudioCd = 3103;
constexpr WORD kErrorLibrary = 3104;

// The tracks' entries, then the lead-out's; or the failed report.
Expected<std::vector<cdrip::TocEntry>, HRESULT> ReadDiscTable(const ExCall& call);

}  // namespace nb::external::cd
