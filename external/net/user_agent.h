// The user-agent string of URL requests.
#pragma once

#include <string>
#include <string_view>

namespace nb::external::net {

// What this system sends for itself, before any product token: the
// platform part browsers send, "Mozilla/5.0 (X11; Linux x86_64)" with the
// machine the kernel names; empty when the kernel cannot say.
std::string SystemUserAgent();

// The system's string, a space, then the suffix (UTF-8); the suffix alone
// when the system has no string.
std::string RequestUserAgent(std::string_view suffix);

}  // namespace nb::external::net
