// The module's lock count: live objects, class objects and server locks.
// The module may be unloaded only while it is zero.
#pragma once

namespace nb::utils {

void LockModule();
void UnlockModule();
bool IsModuleLocked();

}  // namespace nb::utils
