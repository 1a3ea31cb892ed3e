// What the durability test's writer stores: value i of a loop, recognisable
// whole, so a torn or mixed-up value shows.
#pragma once

#include <string>

namespace nb::external::testing {

constexpr char kLoopRegistryKey[] = "Software\\Loop";
constexpr char kLoopJarSection[] = "loop";

inline std::string LoopName(long i) { return "v" + std::to_string(i); }
inline std::string LoopValue(long i) {
    return "value-" + std::to_string(i) + "-" + std::string(200, 'x') + "-end";
}

}  // namespace nb::external::testing
