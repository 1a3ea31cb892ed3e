// Where an upload goes: only plain "http" URLs, to the port the URL names.
#pragma once

#include <string>
#include <string_view>

#include "platform/kernel/expected.h"

namespace nb::external::net {

enum class TargetProblem {
    Unreadable,   // no absolute URL with a host (an empty text too)
    WrongScheme,  // a scheme other than exactly "http" (case counts)
};

// The URL libcurl is given: "http://" host ":" port, path and query. Any
// user name, password or fragment the text holds is left out.
Expected<std::string, TargetProblem> UploadTargetOf(std::string_view url);

}  // namespace nb::external::net
