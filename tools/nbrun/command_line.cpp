#include "tools/nbrun/command_line.h"

#include <string_view>
#include <vector>

namespace nb::nbrun {

const char kUsage[] =
    "usage: nbrun NAME [JSON-ARGS] [--no-callback] [--app-dir DIR]\n"
    "Calls the extension function NAME as a page would, with JSON-ARGS (an\n"
    "array, or one value) as its arguments and \"callback\" as its callback,\n"
    "then prints the result and every callback as JSON lines until every\n"
    "worker it started has ended.\n"
    "  --no-callback   call without a callback name\n"
    "  --app-dir DIR   load internals/ from DIR instead of nbrun's directory\n";

namespace {

constexpr std::string_view kAppDirOption = "--app-dir";

// Takes one option (and its value) from argv at *at; false with a reason
// for an unknown option or a missing value.
bool TakeOption(int argc, const char* const* argv, int* at, Options* options, std::string* error) {
    const std::string_view option = argv[*at];
    if (option == "--no-callback") {
        options->callback = false;
    } else if (option == "--help" || option == "-h") {
        options->help = true;
    } else if (option == kAppDirOption) {
        if (*at + 1 >= argc) return *error = "--app-dir needs a directory", false;
        options->app_dir = argv[++*at];
    } else if (option.substr(0, kAppDirOption.size() + 1) == "--app-dir=") {
        options->app_dir = std::string(option.substr(kAppDirOption.size() + 1));
    } else {
        return *error = "unknown option " + std::string(option), false;
    }
    return true;
}

}  // namespace

std::optional<Options> ParseCommandLine(int argc, const char* const* argv, std::string* error) {
    Options options;
    std::vector<std::string> positional;
    for (int at = 1; at < argc; ++at) {
        if (std::string_view(argv[at]).substr(0, 2) == "--" || std::string_view(argv[at]) == "-h") {
            if (!TakeOption(argc, argv, &at, &options, error)) return std::nullopt;
        } else {
            positional.emplace_back(argv[at]);
        }
    }
    if (options.help) return options;
    if (positional.empty()) return *error = "NAME is missing", std::nullopt;
    if (positional.size() > 2) return *error = "too many arguments", std::nullopt;
    if (options.app_dir && options.app_dir->empty())
        return *error = "--app-dir needs a directory", std::nullopt;
    options.name = positional[0];
    if (positional.size() == 2) options.args = positional[1];
    return options;
}

}  // namespace nb::nbrun
