// The command line of nbrun:
//   nbrun NAME [JSON-ARGS] [--no-callback] [--app-dir DIR]
#pragma once

#include <optional>
#include <string>

namespace nb::nbrun {

struct Options {
    std::string name;                    // the script name of the function
    std::optional<std::string> args;     // JSON text of the args parameter
    bool callback = true;                // pass the callback name "callback"
    std::optional<std::string> app_dir;  // instead of nbrun's own directory
    bool help = false;
};

extern const char kUsage[];

// The options, or nothing with a one-line reason in *error.
std::optional<Options> ParseCommandLine(int argc, const char* const* argv, std::string* error);

}  // namespace nb::nbrun
