// Command lines of any bytes. Words never hold a zero byte; and a line
// rebuilt from the words, each in single quotes, splits into the same words.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "external/system/command_line.h"

namespace {

std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto words = nb::external::SplitCommandLine(line);
    if (!words) return 0;
    std::string rebuilt;
    for (const std::string& word : *words) {
        if (word.find('\0') != std::string::npos) std::abort();
        rebuilt += Quoted(word) + " ";
    }
    if (nb::external::SplitCommandLine(rebuilt) != words) std::abort();
    return 0;
}
