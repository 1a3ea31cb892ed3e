// The text rules of LaunchBrowser.
#include "shell/host/launch/launch_command.h"

#include <gtest/gtest.h>

namespace {

using nb::shell::CommandFromDesktopExec;
using nb::shell::LaunchArguments;
using nb::shell::SplitLaunchCommand;

TEST(LaunchCommand, UrlPlacedAndCommandSplit) {
    const struct {
        std::u16string_view command;
        std::u16string_view program;
        std::u16string_view parameters;
    } cases[] = {
        {u"\"C:\\Program Files\\b.exe\" -url \"%1\"", u"C:\\Program Files\\b.exe",
         u"-url \"http://a/\""},
        {u"/usr/bin/browser %1", u"/usr/bin/browser", u"http://a/"},
        {u"browser    %1", u"browser", u"http://a/"},
        // Without %1 the url is appended quoted, an unquoted command quoted first.
        {u"/usr/bin/browser", u"/usr/bin/browser", u"\"http://a/\""},
        {u"/usr/bin/browser --new", u"/usr/bin/browser --new", u"\"http://a/\""},
        {u"\"/usr/bin/browser\" --new", u"/usr/bin/browser", u"--new \"http://a/\""},
        {u"\"/usr/bin/browser\"", u"/usr/bin/browser", u"\"http://a/\""},
        // Only the first %1 is the url.
        {u"b %1 %1", u"b", u"http://a/ %1"},
        {u"%1", u"http://a/", u""},
        {u"\"unclosed %1", u"unclosed http://a/", u""},
        {u"", u"", u"\"http://a/\""},
    };
    for (const auto& c : cases) {
        const nb::shell::LaunchCommand split = SplitLaunchCommand(c.command, u"http://a/");
        EXPECT_EQ(split.program, c.program) << std::string(c.command.begin(), c.command.end());
        EXPECT_EQ(split.parameters, c.parameters)
            << std::string(c.command.begin(), c.command.end());
    }
}

TEST(LaunchCommand, ArgumentsKeepTheUrlWhole) {
    using Arguments = std::vector<std::string>;
    const struct {
        std::u16string_view command;
        std::u16string_view url;
        std::optional<Arguments> expected;
    } cases[] = {
        {u"\"/usr/bin/b\" -url \"%1\"", u"http://x/a b\"c",
         Arguments{"/usr/bin/b", "-url", "http://x/a b\"c"}},
        // Quotes or blanks in the url never make arguments of their own.
        {u"b %1", u"http://x/\" --flag \"y", Arguments{"b", "http://x/\" --flag \"y"}},
        {u"b %1", u"$HOME;`id` 'q'", Arguments{"b", "$HOME;`id` 'q'"}},
        {u"b", u"http://x/", Arguments{"b", "http://x/"}},
        {u"b --x='a b' \"%1\"", u"http://x/\u00fc", Arguments{"b", "--x=a b", "http://x/\xc3\xbc"}},
        // The quoted program of a command without %1 is one word, spaces and all.
        {u"b --flag", u"http://x/", Arguments{"b --flag", "http://x/"}},
        {u"b 'unbalanced %1", u"http://x/", std::nullopt},
        {u"b #%1", u"http://x/", std::nullopt},
        // Texts end at a NUL, as C strings do.
        {std::u16string_view(u"b %1\0 --x", 9), std::u16string_view(u"http://x/\0y", 11),
         Arguments{"b", "http://x/"}},
        {u"", u"http://x/", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LaunchArguments(c.command, c.url), c.expected)
            << std::string(c.command.begin(), c.command.end());
}

TEST(LaunchCommand, DesktopExecFieldCodes) {
    const struct {
        std::u16string_view exec;
        std::u16string_view command;
    } cases[] = {
        {u"firefox %u", u"firefox %1"},
        {u"browser %U --x", u"browser %1 --x"},
        {u"/opt/b %F", u"/opt/b %1"},
        {u"app %i %c %k %f", u"app    %1"},
        {u"a %% %u %u", u"a % %1 "},
        {u"a %1 %d %D %n %N %v %m", u"a       "},
        {u"a %", u"a "},
        {u"plain", u"plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommandFromDesktopExec(c.exec), c.command)
            << std::string(c.exec.begin(), c.exec.end());
}

}  // namespace
