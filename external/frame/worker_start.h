// Starting a worker thread for an EX_ call whose arguments have passed their
// checks.
#pragma once

#include "external/frame/call_frame.h"

namespace nb::external {

// Hands the worker a parameter block with a copy of the call's arguments,
// creates its thread suspended, registers it with the shell, finds its slot,
// names the callback, lets it run and returns its thread id as VT_I4.
// Failures are error report 2102: "CreateThread() failed" when the block or
// the thread cannot be made, "Cannot get thread context" when no slot holds
// the thread after the search rounds (the thread then never runs).
[[nodiscard]] HRESULT StartWorker(const ExCall& call, LPTHREAD_START_ROUTINE routine);

}  // namespace nb::external
