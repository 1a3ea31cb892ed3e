#include "external/net/user_agent.h"

#include <sys/utsname.h>

namespace nb::external::net {

std::string SystemUserAgent() {
    utsname names{};
    if (::uname(&names) != 0 || names.machine[0] == '\0') return {};
    return std::string("Mozilla/5.0 (X11; Linux ") + names.machine + ")";
}

std::string RequestUserAgent(std::string_view suffix) {
    const std::string system = SystemUserAgent();
    if (system.empty()) return std::string(suffix);
    return system + " " + std::string(suffix);
}

}  // namespace nb::external::net
