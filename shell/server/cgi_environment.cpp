#include "shell/server/cgi_environment.h"

#include <algorithm>
#include <array>

#include "platform/text/ascii_case.h"
#include "platform/text/code_pages.h"

namespace nb::server {
namespace {

std::string UpperName(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return upper;
}

}  // namespace

std::vector<std::string> BuildCgiEnvironment(const CgiRequestInfo& request,
                                             const EnvironmentLookup& lookup) {
    std::vector<std::string> entries;
    auto add = [&entries](std::string_view name, std::string_view value) {
        if (entries.size() >= kMaxCgiVariables) return;
        entries.push_back(UpperName(name) + "=" + std::string(value));
    };
    auto add16 = [&add](std::string_view name, std::u16string_view value) {
        add(name, nb::ToUtf8(value));
    };

    static constexpr std::array<const char*, 8> kCopied = {"HOME",
                                                           "USER",
                                                           "TMPDIR",
                                                           "PATH",
                                                           "NIMBRA_LANGUAGE",
                                                           "MSIE_VERSION",
                                                           "MSIE_VERSION_MAJOR",
                                                           "MSIE_VERSION_MINOR"};
    for (const char* name : kCopied) {
        // A variable set to nothing is passed as "NAME=".
        if (const char* value = lookup(name)) add(name, value);
    }

    const ParsedUrl& parts = *request.parts;
    add("GATEWAY_INTERFACE", "CGI/1.1");
    add16("PATH_TRANSLATED", parts.script_path);
    if (parts.query_string) add16("QUERY_STRING", *parts.query_string);
    add16("REQUEST_URI", request.request_url);
    add("REMOTE_ADDR", "127.0.0.1");
    add("REMOTE_HOST", "localhost");
    add16("SCRIPT_FILENAME", parts.script_path);
    add16("SCRIPT_NAME", parts.script_name);
    add("SERVER_NAME", "NimbraWS");
    add("SERVER_SOFTWARE", "Nimbra/3.5.0");
    if (request.cookies) add16("HTTP_COOKIE", *request.cookies);
    if (request.verb == BindVerb::Post) {
        add("REQUEST_METHOD", "POST");
        if (FAILED(request.post_mime_result)) {
            add("CONTENT_TYPE", "application/x-www-form-urlencoded");
        } else if (request.post_mime) {
            add16("CONTENT_TYPE", *request.post_mime);
        }
        add("CONTENT_LENGTH", std::to_string(request.post_data_size));
    } else {
        add("REQUEST_METHOD", "GET");
    }
    return entries;
}

std::vector<std::string> SortedEnvironment(std::vector<std::string> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const std::string& a, const std::string& b) {
                         return std::lexicographical_compare(
                             a.begin(), a.end(), b.begin(), b.end(),
                             [](char x, char y) { return AsciiLower(x) < AsciiLower(y); });
                     });
    return entries;
}

}  // namespace nb::server
