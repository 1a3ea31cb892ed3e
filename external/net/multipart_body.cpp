#include "external/net/multipart_body.h"

#include <cstdio>
#include <random>

namespace nb::external::net {
namespace {

constexpr std::string_view kBoundaryStem = "---------------------------nb";
constexpr std::size_t kBoundaryDigits = 11;
constexpr std::string_view kHexDigits = "0123456789abcdef";

std::string QuotedPath(std::string_view path) {
    std::string quoted;
    quoted.reserve(path.size());
    for (char c : path) {
        if (c == '"')
            quoted += "%22";
        else if (c == '\r')
            quoted += "%0D";
        else if (c == '\n')
            quoted += "%0A";
        else
            quoted += c;
    }
    return quoted;
}

}  // namespace

std::string MakeBoundary() {
    thread_local std::minstd_rand generator(std::random_device{}());
    std::string boundary(kBoundaryStem);
    for (std::size_t digit = 0; digit < kBoundaryDigits; ++digit)
        boundary += kHexDigits[generator() % kHexDigits.size()];
    return boundary;
}

std::string PartHeader(std::string_view boundary, std::size_t index, std::string_view path,
                       std::string_view content_type) {
    char field[32];
    std::snprintf(field, sizeof field, "file%03zu", index);
    std::string header;
    header.reserve(boundary.size() + path.size() + content_type.size() + 96);
    header.append("--").append(boundary).append("\r\n");
    header.append("Content-Disposition: form-data; name=\"").append(field);
    header.append("\"; filename=\"").append(QuotedPath(path)).append("\"\r\n");
    header.append("Content-Type: ").append(content_type).append("\r\n\r\n");
    return header;
}

std::string ClosingDelimiter(std::string_view boundary) {
    return "--" + std::string(boundary) + "--\r\n";
}

}  // namespace nb::external::net
