// The CGI/1.1 environment an interpreter runs with.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/server/protocol_sink.h"
#include "shell/server/url_parser.h"

namespace nb::server {

// At most this many variables are passed.
constexpr std::size_t kMaxCgiVariables = 100;

struct CgiRequestInfo {
    const ParsedUrl* parts = nullptr;
    std::u16string_view request_url;
    BindVerb verb = BindVerb::Get;
    DWORD post_data_size = 0;
    // The declared POST type: an error means "a form"; S_OK with nothing
    // means no CONTENT_TYPE.
    HRESULT post_mime_result = S_OK;
    std::optional<std::u16string> post_mime;
    std::optional<std::u16string> cookies;
};

// Looks a variable of the shell's own environment up; null when unset.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// NAME=value entries (UTF-8), names upper case, in no particular order.
// Copied from the shell's environment when set there: HOME, USER, TMPDIR and
// PATH (the Linux counterparts of the home, user and temporary-directory
// variables; PATH lets the interpreter find its programs), and
// NIMBRA_LANGUAGE, MSIE_VERSION, MSIE_VERSION_MAJOR, MSIE_VERSION_MINOR.
std::vector<std::string> BuildCgiEnvironment(const CgiRequestInfo& request,
                                             const EnvironmentLookup& lookup);

// The entries sorted without regard to ASCII case over the whole
// NAME=value text, as the interpreter's environment.
std::vector<std::string> SortedEnvironment(std::vector<std::string> entries);

}  // namespace nb::server
