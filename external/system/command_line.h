// Splitting a command line into program arguments the way the POSIX shell
// reads words, but without a shell: nothing is expanded, globbed or
// redirected, and "|", ";", "&", "<", ">" and "#" are ordinary characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nb::external {

// Words are separated by blanks (space, tab, new line) outside quotes.
//  - '...': everything up to the next single quote, literally.
//  - "...": literally, except that a backslash before $ ` " \ stands for
//    that character and a backslash before a new line removes both; any
//    other backslash stays.
//  - \c outside quotes: c literally; a backslash before a new line removes
//    both; a backslash at the very end stays.
// Quotes join with what touches them ("a"'b'c is one word abc), and "" or ''
// alone make an empty word. Nothing when a quote is not closed or the line
// holds a zero byte (no program argument can).
std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line);

}  // namespace nb::external
