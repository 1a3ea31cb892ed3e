// Splitting command lines into program arguments by the shell's quoting rules.
#include "external/system/command_line.h"

#include <gtest/gtest.h>

#include <ostream>

namespace nb::external {
namespace {

using Words = std::vector<std::string>;

struct SplitCase {
    const char* line;
    std::optional<Words> words;
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.line; }

class CommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLine, SplitsIntoWords) {
    EXPECT_EQ(SplitCommandLine(GetParam().line), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLine,
    ::testing::Values(
        SplitCase{"", Words{}}, SplitCase{" \t\n ", Words{}},
        SplitCase{"ls -l  /tmp", Words{"ls", "-l", "/tmp"}},
        SplitCase{"\tprog\targ\n", Words{"prog", "arg"}},
        // Single quotes keep everything.
        SplitCase{"echo 'a  b' 'c\\d' '$x \"y\"'", Words{"echo", "a  b", "c\\d", "$x \"y\""}},
        // Double quotes: backslash escapes only $ ` " \ and new line.
        SplitCase{"echo \"a  b\" \"c\\\"d\" \"e\\\\f\" \"\\$g\" \"\\`h\"",
                  Words{"echo", "a  b", "c\"d", "e\\f", "$g", "`h"}},
        SplitCase{"echo \"\\n\\t\\'\"", Words{"echo", "\\n\\t\\'"}},
        SplitCase{"echo \"a\\\nb\"", Words{"echo", "ab"}},
        // Backslash outside quotes.
        SplitCase{"echo a\\ b \\\"c \\\\ \\'", Words{"echo", "a b", "\"c", "\\", "'"}},
        SplitCase{"echo a\\\nb", Words{"echo", "ab"}}, SplitCase{"echo a\\", Words{"echo", "a\\"}},
        // Quotes join with what touches them; empty quotes make a word.
        SplitCase{"x\"a\"'b'c", Words{"xabc"}}, SplitCase{"prog \"\" ''", Words{"prog", "", ""}},
        SplitCase{"sh -c \"head -c 10 /dev/zero | tr '\\0' x\"",
                  Words{"sh", "-c", "head -c 10 /dev/zero | tr '\\0' x"}},
        // No shell: operators, comments and variables are ordinary text.
        SplitCase{"a|b ; c & d > e #f $HOME",
                  Words{"a|b", ";", "c", "&", "d", ">", "e", "#f", "$HOME"}},
        // Malformed lines.
        SplitCase{"echo 'open", std::nullopt}, SplitCase{"echo \"open", std::nullopt},
        SplitCase{"echo \"a\\\"", std::nullopt}));

TEST(CommandLine, RefusesZeroBytes) {
    EXPECT_EQ(SplitCommandLine(std::string_view("a\0b", 3)), std::nullopt);
}

}  // namespace
}  // namespace nb::external
