#include "external/net/upload_target.h"

#include <optional>

#include "external/net/web_url.h"

namespace nb::external::net {

Expected<std::string, TargetProblem> UploadTargetOf(std::string_view url) {
    const std::optional<WebUrl> parsed = ParseWebUrl(url);
    if (!parsed) return Unexpected(TargetProblem::Unreadable);
    if (SchemeAsWritten(url) != "http") return Unexpected(TargetProblem::WrongScheme);
    return "http://" + parsed->host + ":" + parsed->port + parsed->path_and_query;
}

}  // namespace nb::external::net
