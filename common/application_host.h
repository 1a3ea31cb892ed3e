// The application host: the fixed http host name that gives every x-mrs page
// one web identity (security URL, security domain, the URL its cookies are
// kept under) and that the extension library's uploads name as referrer.
#pragma once

#include <string_view>

namespace nb {

inline constexpr std::u16string_view kApplicationHost = u"app.nimbra.localhost";

}  // namespace nb
