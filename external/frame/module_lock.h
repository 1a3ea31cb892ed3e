// The module's lock count. The module serves no classes; what keeps it in use
// is its worker threads, which run its code until they end, so each one
// holds a lock from its start until its last act.
#pragma once

namespace nb::external {

void LockModule();
void UnlockModule();
bool IsModuleLocked();

}  // namespace nb::external
