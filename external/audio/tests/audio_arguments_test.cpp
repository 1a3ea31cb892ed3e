// The argument checks of the audio workers' exports: count first, then the
// kind of each argument, before any thread starts.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "external/frame/job_channel.h"
#include "external/frame/tests/shell_double.h"

namespace nb::external::testing {
namespace {

struct ArgumentCase {
    const char* name;
    const char* function;
    std::function<CallOutcome(ShellDouble&, ExFunction)> call;
    WORD code;
};
void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

class AudioArguments : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(AudioArguments, AreRefusedBeforeAnyThreadStarts) {
    ShellDouble shell;
    const std::string function = GetParam().function;
    const CallOutcome outcome = GetParam().call(shell, LoadExport(("EX_" + function).c_str()));
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, GetParam().code);
    EXPECT_EQ(outcome.scode, -static_cast<SCODE>(GetParam().code));
    EXPECT_EQ(outcome.source, u"External::" + std::u16string(function.begin(), function.end()));
    EXPECT_EQ(outcome.description, GetParam().code == 2100 ? u"Catastrophic: Bad parameters count"
                                                           : u"Catastrophic: Type mismatch");
    EXPECT_EQ(shell.registrations(), 0);
}

constexpr WORD kCount = 2100;
constexpr WORD kKind = 2101;
const std::u16string kFile = u"/tmp/nb-audio-argument-check.wav";

CallOutcome CallWith(ShellDouble& shell, ExFunction function,
                     std::initializer_list<TestValue> arguments) {
    return shell.Call(function, arguments, u"onAudio");
}

#define NB_CASE(name, function, code, ...)                                                      \
    ArgumentCase {                                                                              \
        name, function,                                                                         \
            [](ShellDouble& shell, ExFunction ex) { return CallWith(shell, ex, __VA_ARGS__); }, \
            code                                                                                \
    }

INSTANTIATE_TEST_SUITE_P(
    Checks, AudioArguments,
    ::testing::Values(
        NB_CASE("transcode_none", "Transcode", kCount, {}),
        NB_CASE("transcode_one", "Transcode", kCount, {kFile}),
        NB_CASE("transcode_five", "Transcode", kCount, {kFile, kFile, true, LONG{200}, LONG{1}}),
        NB_CASE("transcode_input_integer", "Transcode", kKind, {LONG{1}, kFile}),
        NB_CASE("transcode_output_boolean", "Transcode", kKind, {kFile, true}),
        NB_CASE("transcode_output_empty", "Transcode", kKind, {kFile, std::monostate{}}),
        NB_CASE("transcode_normalise_integer", "Transcode", kKind, {kFile, kFile, LONG{1}}),
        NB_CASE("transcode_interval_text", "Transcode", kKind, {kFile, kFile, true, kFile}),
        NB_CASE("mix_two", "WaveMix", kCount, {kFile, kFile}),
        NB_CASE("mix_five", "WaveMix", kCount, {kFile, kFile, kFile, LONG{200}, LONG{1}}),
        NB_CASE("mix_background_integer", "WaveMix", kKind, {kFile, LONG{0}, kFile}),
        NB_CASE("mix_output_boolean", "WaveMix", kKind, {kFile, kFile, false}),
        NB_CASE("mix_interval_boolean", "WaveMix", kKind, {kFile, kFile, kFile, true})),
    [](const ::testing::TestParamInfo<ArgumentCase>& param_info) { return param_info.param.name; });

// The report interval: below 100 ms becomes 100, taken unsigned so that a
// negative interval is a very long one.
TEST(ProgressInterval, HasAFloorOf100Milliseconds) {
    EXPECT_EQ(ProgressInterval(0), 100u);
    EXPECT_EQ(ProgressInterval(99), 100u);
    EXPECT_EQ(ProgressInterval(100), 100u);
    EXPECT_EQ(ProgressInterval(250), 250u);
    EXPECT_EQ(ProgressInterval(static_cast<DWORD>(-1)), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace nb::external::testing
