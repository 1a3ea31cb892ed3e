// The "x-mrs" URI scheme of the web context, answered by the local
// application server.
#pragma once

#include <webkit2/webkit2.h>

#include <string>

namespace nb::shell {

void RegisterSchemeHandler(WebKitWebContext* context, const char* scheme,
                           const std::u16string& program_directory);

}  // namespace nb::shell
