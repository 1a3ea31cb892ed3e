// Loading the CD ripping library for one operation: initialised with its
// settings file in the temporary folder, its failures shown in a message box.
// Every CD function and the track ripper load it afresh and let it go when
// they end.
#pragma once

#include <optional>
#include <string>

#include "platform/cdrip/cdrip.h"

namespace nb::external::cd {

// "<temporary folder>/s2mcr.ini".
std::string CdRipSettingsPath();

// The library, or nothing after a message box saying why it did not start.
std::optional<cdrip::CdRipLibrary> LoadCDRipLibrary();

}  // namespace nb::external::cd
