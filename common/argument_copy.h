// Worker argument copies: a task-memory DISPPARAMS that a worker thread owns,
// holding copies of the caller's arguments in the same order, with script
// arrays turned into native vectors, so the worker never touches a script
// object. Made on the thread that received the arguments.
#pragma once

#include <memory>

#include "platform/automation/variant.h"

// Makes the copy: rgvarg holds cArgs copies and one spare VT_EMPTY entry,
// rgdispidNamedArgs is null and cNamedArgs 0 (named arguments are not
// copied). An array argument that cannot be read as an array is copied as
// VT_EMPTY. Returns E_POINTER for null pointers; E_INVALIDARG when an array
// argument cannot be represented as a native vector (too long, too deeply
// nested) and E_OUTOFMEMORY after the allocation box, with *copy null.
HRESULT NbCopyArgumentsForWorker(const DISPPARAMS* arguments, DISPPARAMS** copy);
// The same, returning the copy or null on any failure.
DISPPARAMS* NB_DISPPARAMS_COPY(const DISPPARAMS* arguments);

// Frees a copy: clears every argument with NB_VARIANT_CLEAR (so nested
// native vectors are freed too), then frees the variant block and the
// record. A null copy is fine.
void NB_DISPPARAMS_FREE(DISPPARAMS* copy);

namespace nb {

struct ArgumentCopyDeleter {
    void operator()(DISPPARAMS* copy) const { NB_DISPPARAMS_FREE(copy); }
};
// Owns a worker argument copy.
using ArgumentCopy = std::unique_ptr<DISPPARAMS, ArgumentCopyDeleter>;

}  // namespace nb
