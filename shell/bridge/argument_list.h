// Argument lists in the DISPPARAMS layout that the shell owns: the list of
// one EX_ call, and the callback argument list of a worker slot. Both live in
// task memory, so a worker (or the extension library) may read and fill them.
#pragma once

#include <memory>

#include "common/argument_copy.h"
#include "platform/automation/variant.h"

namespace nb::bridge {

struct ArgumentListDeleter {
    void operator()(DISPPARAMS* list) const { NB_DISPPARAMS_FREE(list); }
};
// Owns a list: clears its values and frees both blocks.
using ArgumentList = std::unique_ptr<DISPPARAMS, ArgumentListDeleter>;

// A list of count VT_EMPTY values with room for one spare entry; no named
// arguments. With a count of 0 the value block is null. Null after the
// allocation-failure box.
[[nodiscard]] DISPPARAMS* AllocateArgumentList(UINT count);

// The list of an EX_ call from the script's args value, in natural order:
// a VT_DISPATCH value is read as a script array (element i at position i;
// an unreadable element stays VT_EMPTY; an unreadable or empty length gives
// no values), any other value is one argument, and no value gives none.
// E_OUTOFMEMORY after the allocation-failure box.
HRESULT BuildCallArguments(const VARIANT* args, ArgumentList* list);

}  // namespace nb::bridge
