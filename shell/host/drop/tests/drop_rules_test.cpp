// Paths, handler arguments and effects of file drops.
#include "shell/host/drop/drop_rules.h"

#include <gtest/gtest.h>

#include "platform/automation/com_ptr.h"

namespace {

using namespace nb::shell;

TEST(DropRules, PathsOfAUriListLastFirst) {
    const std::vector<std::u16string> paths = DroppedPaths({
        "file:///tmp/first.txt",
        "http://example.com/not-a-file",
        "file:///tmp/second%20file.txt",
        "file://localhost/tmp/third",
        "file://elsewhere.invalid/tmp/remote",
        "file:///tmp/%C3%BC%F0%9F%98%80",
        "not a uri",
    });
    EXPECT_EQ(paths, (std::vector<std::u16string>{u"/tmp/\u00fc\U0001F600", u"/tmp/third",
                                                  u"/tmp/second file.txt", u"/tmp/first.txt"}));
    EXPECT_TRUE(DroppedPaths({}).empty());
}

TEST(DropRules, LongPathsCutInUtf16Units) {
    const struct {
        std::string name;   // after "/", percent-encoded where needed
        std::size_t units;  // of the path the page gets
    } cases[] = {
        {std::string(259, 'a'), 260},
        {std::string(300, 'a'), 260},
        // A pair that would be cut in two is left out whole.
        {std::string(258, 'a') + "%F0%9F%98%80", 259},
        {std::string(257, 'a') + "%F0%9F%98%80", 260},
    };
    for (const auto& c : cases) {
        const std::vector<std::u16string> paths = DroppedPaths({"file:///" + c.name});
        ASSERT_EQ(paths.size(), 1u);
        EXPECT_EQ(paths[0].size(), c.units) << c.name;
        EXPECT_EQ(paths[0].substr(0, 2), u"/a");
    }
}

TEST(DropRules, AnswersAsIntegers) {
    const auto number = [](VARTYPE type, double value) {
        nb::Variant v;
        v.vt = type;
        if (type == VT_I4) v.lVal = static_cast<LONG>(value);
        if (type == VT_R8) v.dblVal = value;
        if (type == VT_BOOL) v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        if (type == VT_BSTR) v.bstrVal = SysAllocString(u"2");
        return AnswerNumber(v);
    };
    EXPECT_EQ(number(VT_I4, 2), 2);
    EXPECT_EQ(number(VT_R8, 3.0), 3);
    EXPECT_EQ(number(VT_BOOL, 1), -1);
    EXPECT_EQ(number(VT_BSTR, 0), std::nullopt);
    EXPECT_EQ(number(VT_EMPTY, 0), std::nullopt);
    EXPECT_EQ(number(VT_NULL, 0), std::nullopt);
}

TEST(DropRules, EffectsFromAnswers) {
    constexpr std::uint32_t kAll = kDropCopy | kDropMove | kDropLink;
    const struct {
        std::optional<std::int32_t> answer;
        std::uint32_t offered;
        std::uint32_t after_enter;
        std::uint32_t after_over;
    } cases[] = {
        {1, kAll, kDropNone, kDropNone},
        {2, kAll, kDropCopy, kDropCopy},
        {3, kAll, kDropMove, kDropMove},
        {4, kAll, kDropLink, kDropLink},
        {0, kAll, kAll, kAll},
        {5, kAll, kAll, kAll},
        {-1, kAll, kAll, kAll},
        {std::nullopt, kAll, kAll, kAll},
        // Enter restricts what the source offers; over and drop set the effect.
        {3, kDropCopy, kDropNone, kDropMove},
        {2, kDropCopy | kDropLink, kDropCopy, kDropCopy},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EffectAfterEnter(c.answer, c.offered), c.after_enter) << c.answer.value_or(99);
        EXPECT_EQ(EffectAfterAnswer(c.answer, c.offered), c.after_over) << c.answer.value_or(99);
    }
}

TEST(DropRules, HandlerArgumentsInDispatchOrder) {
    // The page's order: x, y, then the last dropped file first.
    const std::vector<std::u16string> paths = {u"/tmp/last", u"/tmp/middle", u"/tmp/first"};
    DropArguments with_paths(-5, 700, &paths);
    ASSERT_TRUE(with_paths.Complete());
    const DISPPARAMS* params = with_paths.Params();
    ASSERT_EQ(params->cArgs, 5u);
    EXPECT_EQ(params->rgvarg[4].vt, VT_INT);
    EXPECT_EQ(params->rgvarg[4].intVal, -5);
    EXPECT_EQ(params->rgvarg[3].vt, VT_INT);
    EXPECT_EQ(params->rgvarg[3].intVal, 700);
    const char16_t* expected[] = {u"/tmp/first", u"/tmp/middle", u"/tmp/last"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(params->rgvarg[i].vt, VT_BSTR);
        EXPECT_EQ(std::u16string(params->rgvarg[i].bstrVal), expected[i]);
    }
    DropArguments point_only(1, 2, nullptr);
    EXPECT_EQ(point_only.Params()->cArgs, 2u);
    DropArguments none;
    EXPECT_EQ(none.Params()->cArgs, 0u);
}

}  // namespace
