// How much of a long output is kept, whatever sizes the reads come in.
#include "external/system/output_capture.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace nb::external {
namespace {

struct CaptureCase {
    std::size_t read_size;
    std::size_t kept;
};
void PrintTo(const CaptureCase& c, std::ostream* os) { *os << "reads of " << c.read_size; }

class Capture : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(Capture, KeepsTheFirstBytes) {
    std::string output;
    for (int i = 0; i < 10000; ++i) output += static_cast<char>('a' + i % 26);
    OutputCapture capture;
    for (std::size_t at = 0; at < output.size(); at += GetParam().read_size)
        capture.AddRead(std::string_view(output).substr(at, GetParam().read_size));
    EXPECT_EQ(capture.Stored().size(), GetParam().kept);
    EXPECT_TRUE(output.starts_with(capture.Stored()));
}

// Full reads stop at 5056 bytes; single bytes at the first count past 4992.
INSTANTIATE_TEST_SUITE_P(ReadSizes, Capture,
                         ::testing::Values(CaptureCase{64, 5056}, CaptureCase{1, 4993},
                                           CaptureCase{7, 4998}));

TEST(Capture, KeepsAShortOutputWhole) {
    OutputCapture capture;
    capture.AddRead("hello ");
    capture.AddRead("world");
    EXPECT_EQ(capture.Stored(), "hello world");
}

}  // namespace
}  // namespace nb::external
