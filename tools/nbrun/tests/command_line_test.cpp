#include "tools/nbrun/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace nb::nbrun {
namespace {

std::optional<Options> Parse(std::vector<const char*> arguments, std::string* error) {
    arguments.insert(arguments.begin(), "nbrun");
    return ParseCommandLine(static_cast<int>(arguments.size()), arguments.data(), error);
}

TEST(NbrunCommandLine, TakesNameArgumentsAndOptionsInAnyOrder) {
    std::string error;
    const auto options =
        Parse({"--no-callback", "FileSize", "--app-dir", "/opt/app", "[\"/x\"]"}, &error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->name, "FileSize");
    EXPECT_EQ(options->args, "[\"/x\"]");
    EXPECT_FALSE(options->callback);
    EXPECT_EQ(options->app_dir, "/opt/app");

    const auto minimal = Parse({"GetTempDir", "--app-dir=/srv"}, &error);
    ASSERT_TRUE(minimal) << error;
    EXPECT_FALSE(minimal->args);
    EXPECT_TRUE(minimal->callback);
    EXPECT_EQ(minimal->app_dir, "/srv");
}

TEST(NbrunCommandLine, RefusesWhatItCannotRead) {
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"--no-callback"},
        {"a", "[]", "extra"},
        {"a", "--app-dir"},
        {"a", "--app-dir="},
        {"a", "--verbose"},
    };
    for (const auto& arguments : bad) {
        std::string error;
        EXPECT_FALSE(Parse(arguments, &error)) << arguments.size();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace nb::nbrun
