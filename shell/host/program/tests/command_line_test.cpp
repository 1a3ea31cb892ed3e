#include "shell/host/program/command_line.h"

#include <gtest/gtest.h>

namespace nb::shell {
namespace {

TEST(CommandLine, RegistrationSwitches) {
    const struct {
        std::vector<std::string_view> arguments;
        Registration registration;
    } cases[] = {
        {{}, Registration::kNone},
        {{"/RegServer"}, Registration::kRegister},
        {{"-regserver"}, Registration::kRegister},
        {{"/REGSERVERANDMORE"}, Registration::kRegister},  // only 9 characters count
        {{"-UnregServer"}, Registration::kUnregister},
        {{"/unregserverX"}, Registration::kUnregister},
        {{"RegServer"}, Registration::kNone},  // no switch character
        {{"/Reg"}, Registration::kNone},
        {{"-other", "/UnregServer", "/RegServer"}, Registration::kUnregister},  // first match wins
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseShellCommandLine(c.arguments).registration, c.registration);
    EXPECT_TRUE(ParseShellCommandLine({"--console"}).console_to_stdout);
    EXPECT_FALSE(ParseShellCommandLine({"-console"}).console_to_stdout);
}

}  // namespace
}  // namespace nb::shell
