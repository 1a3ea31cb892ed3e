// Splits an x-mrs URL into the parts the local server works with.
//
// Two forms are accepted:
//   x-mrs:///opt/app/!/ui/pages/a.html?x=1   absolute: base directory /opt/app
//   x-mrs://ui/pages/a.html                  short: base directory = the shell's
// The first path component after the base is the library name ("ui"): its
// pages live in <base>/!/ui/ or in the resource library <base>/ui.dll.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/application_host.h"

namespace nb::server {

using nb::kApplicationHost;

struct ParsedUrl {
    std::u16string base_directory;               // no trailing "/"; "/opt/app"
    std::u16string library_name;                 // "ui"
    std::u16string library_path;                 // base + "/" + library + ".dll"
    std::u16string resource_name;                // "pages/a.html"
    std::u16string extension;                    // "html"; "nbx" when there is none
    std::optional<std::u16string> query_string;  // only when not empty
    std::u16string file_path;                    // base + "/!/" + library + "/" + resource
    // Only for CGI pages (IsCgiExtension), empty otherwise.
    std::u16string script_name;         // "/" + library + "/" + resource
    std::u16string script_path;         // same as file_path
    std::u16string redirect_root;       // "x-mrs://" + base + "/!/"
    std::u16string redirect_directory;  // redirect root + library + "/"
};

// Decodes every %XX escape (the decoded bytes are UTF-8) and encodes
// nothing. Nothing for decoded bytes that are not UTF-8 or decode to a zero.
std::optional<std::u16string> PercentDecode(std::u16string_view url);

// Nothing when the URL does not have one of the two forms. shell_directory is
// the base directory of the short form (no trailing "/").
std::optional<ParsedUrl> ParseUrl(std::u16string_view url, std::u16string_view shell_directory);

// An extension is a CGI page when its first three characters are "php" in
// any letter case: php, PHP and php5 all count.
bool IsCgiExtension(std::u16string_view extension);

// ASCII-only case folding, the comparisons of this subsystem.
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace nb::server
