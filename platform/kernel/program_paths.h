// Where the running program and its loaded modules sit on disk.
#pragma once

#include <string>

#include "platform/automation/wintypes.h"

namespace nb {

// The running program's file as the kernel names it (absolute); "" when it
// cannot be read.
NB_EXPORT std::string ProgramPath();

// The folder holding the running program, without a trailing slash: "/" for
// a program at the root, "." when the program's file cannot be read.
NB_EXPORT std::string ProgramDirectory();

// The absolute path of the loaded module (program or shared library) whose
// code or data holds address; "" when no module holds it.
NB_EXPORT std::string ModulePathOf(const void* address);

// The folder of that module, without a trailing slash ("/" at the root); ""
// when no module holds address.
NB_EXPORT std::string ModuleDirectoryOf(const void* address);

// The temporary folder: $TMPDIR when it holds an absolute path, else /tmp,
// without trailing slashes (the root is the empty text, to which a caller
// appends "/name").
NB_EXPORT std::string TemporaryDirectory();

}  // namespace nb
