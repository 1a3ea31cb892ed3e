// The well-known folders a page asks for by name, and where each is here.
#pragma once

#include <string>
#include <string_view>

namespace nb::external {

enum class FolderStatus {
    Found,        // path names an existing folder
    UnknownName,  // no folder has that name
    Unavailable,  // the folder is missing and could not be made
};

struct FolderAnswer {
    FolderStatus status;
    std::string path;  // UTF-8, no trailing slash
};

// Looks the name up (exactly: case matters) and answers the folder's path.
// A folder of the user's own (under the home directory or an XDG base
// directory) is created when missing, as on a fresh account; folders of the
// system are only looked for.
FolderAnswer FindSpecialFolder(std::u16string_view name);

}  // namespace nb::external
