// Expanding environment-variable references: the rules on a fixed table of
// variables, then EX_ExpandEnvVariable over the real environment.
#include "external/system/environment.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>

#include "common/error_report.h"
#include "external/frame/tests/shell_double.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

std::optional<std::u16string> FixedVariable(std::u16string_view name) {
    static const std::map<std::u16string, std::u16string, std::less<>> variables = {
        {u"HOME", u"/home/u"},       {u"A", u"1"},    {u"B_2", u"two"}, {u"EMPTY", u""},
        {u"Program Files", u"/opt"}, {u"PCT", u"%A%"}};
    const auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
}

struct ExpandCase {
    std::u16string text;
    std::u16string expanded;
};
void PrintTo(const ExpandCase& c, std::ostream* os) { *os << ToUtf8(c.text); }

class Expansion : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(Expansion, FollowsTheReferenceRules) {
    EXPECT_EQ(ExpandEnvironment(GetParam().text, &FixedVariable), GetParam().expanded);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Expansion,
    ::testing::Values(ExpandCase{u"", u""}, ExpandCase{u"plain text", u"plain text"},
                      // The percent form.
                      ExpandCase{u"%HOME%/x", u"/home/u/x"}, ExpandCase{u"%A%%B_2%", u"1two"},
                      ExpandCase{u"%Program Files%", u"/opt"}, ExpandCase{u"[%EMPTY%]", u"[]"},
                      ExpandCase{u"%home%", u"%home%"}, ExpandCase{u"%NOPE%/x", u"%NOPE%/x"},
                      ExpandCase{u"%NOPE%A%", u"%NOPE%A%"}, ExpandCase{u"100%", u"100%"},
                      ExpandCase{u"50% of %A%", u"50% of %A%"}, ExpandCase{u"%%", u"%%"},
                      ExpandCase{u"%%A%", u"%%A%"}, ExpandCase{u"%", u"%"},
                      // Values are not expanded again.
                      ExpandCase{u"%PCT%", u"%A%"},
                      // The dollar forms.
                      ExpandCase{u"$HOME/x", u"/home/u/x"}, ExpandCase{u"${HOME}x", u"/home/ux"},
                      ExpandCase{u"$A$B_2", u"1two"}, ExpandCase{u"$B_2x", u"$B_2x"},
                      ExpandCase{u"$NOPE and ${NOPE}", u"$NOPE and ${NOPE}"},
                      ExpandCase{u"$", u"$"}, ExpandCase{u"$$", u"$$"}, ExpandCase{u"$1", u"$1"},
                      ExpandCase{u"${}", u"${}"}, ExpandCase{u"${A", u"${A"},
                      ExpandCase{u"${A-b}", u"${A-b}"}, ExpandCase{u"cost: $5", u"cost: $5"},
                      // The forms meet.
                      ExpandCase{u"%A%$A${A}", u"111"}, ExpandCase{u"%$A%", u"%$A%"},
                      ExpandCase{u"$A%A%", u"11"}));

TEST(Expansion, RefusesResultsBeyondTheLimit) {
    const auto lookup = [](std::u16string_view) {
        return std::optional<std::u16string>(std::u16string(kMaxExpandedLength / 2 + 1, u'x'));
    };
    EXPECT_TRUE(ExpandEnvironment(u"%X%", lookup).has_value());
    EXPECT_FALSE(ExpandEnvironment(u"%X%%X%", lookup).has_value());
    EXPECT_EQ(ExpandEnvironment(std::u16string(kMaxExpandedLength, u'y'), lookup)->size(),
              kMaxExpandedLength);
}

class ExpandEnvVariableTest : public ::testing::Test {
   protected:
    CallOutcome Expand(const TestValue& text) {
        return m_shell.Call(LoadExport("EX_ExpandEnvVariable"), {text});
    }
    ShellDouble m_shell;
};

TEST_F(ExpandEnvVariableTest, ExpandsTheProcessEnvironment) {
    ScopedVariable word("NB_TEST_WORD", "hello");
    ScopedVariable unset("NB_TEST_UNSET", std::nullopt);
    const CallOutcome outcome =
        Expand(u"%NB_TEST_WORD%, $NB_TEST_WORD ${NB_TEST_WORD} %NB_TEST_UNSET% %nb_test_word%");
    ASSERT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.type, VT_BSTR);
    EXPECT_EQ(outcome.result.text, u"hello, hello hello %NB_TEST_UNSET% %nb_test_word%");
}

TEST_F(ExpandEnvVariableTest, AcceptsTextsUpTo16000Characters) {
    const std::u16string longest(16000, u'a');
    const CallOutcome accepted = Expand(longest);
    ASSERT_EQ(accepted.hr, S_OK);
    EXPECT_EQ(accepted.result.text, longest);

    const CallOutcome refused = Expand(longest + u"a");
    EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(refused.code, NB_ERROR_FILE_REQUEST);
    EXPECT_EQ(refused.description, u"Catastrophic: Input string too long (max 32k)");
    EXPECT_EQ(refused.source, u"External::ExpandEnvVariable");
}

TEST_F(ExpandEnvVariableTest, FailsWhenTheResultIsTooLong) {
    ScopedVariable big("NB_TEST_BIG", std::string(20000, 'b'));
    const CallOutcome outcome = Expand(u"%NB_TEST_BIG%%NB_TEST_BIG%");
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, NB_ERROR_FILE_REQUEST);
    EXPECT_EQ(outcome.description, u"Catastrophic: Expand failed");
}

TEST_F(ExpandEnvVariableTest, ANullTextIsEmpty) {
    const CallOutcome outcome = Expand(nullptr);
    ASSERT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.type, VT_BSTR);
    EXPECT_EQ(outcome.result.text, u"");
}

}  // namespace
}  // namespace nb::external::testing
