// The result type and the guard that keeps exceptions in.
#include "platform/kernel/expected.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "platform/kernel/no_throw.h"

namespace {

nb::Expected<std::string, int> Parsed(bool ok) {
    if (!ok) return nb::Unexpected(42);
    return std::string("text");
}

TEST(Expected, HoldsAValueOrAnError) {
    nb::Expected<std::string, int> good = Parsed(true);
    ASSERT_TRUE(good.has_value());
    EXPECT_TRUE(static_cast<bool>(good));
    EXPECT_EQ(good.value(), "text");
    EXPECT_EQ(*good, "text");
    EXPECT_EQ(good->size(), 4u);
    EXPECT_EQ(good.value_or("other"), "text");
    EXPECT_THROW((void)good.error(), std::bad_variant_access);

    nb::Expected<std::string, int> bad = Parsed(false);
    ASSERT_FALSE(bad.has_value());
    EXPECT_FALSE(static_cast<bool>(bad));
    EXPECT_EQ(bad.error(), 42);
    EXPECT_EQ(bad.value_or("other"), "other");
    EXPECT_THROW((void)bad.value(), std::bad_variant_access);
}

// A value and an error of one type stay apart.
TEST(Expected, SameTypeForValueAndError) {
    const nb::Expected<int, int> value = 7;
    const nb::Expected<int, int> error = nb::Unexpected(7);
    EXPECT_TRUE(value.has_value());
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(error.error(), 7);
}

TEST(NoThrow, ExceptionsBecomeTheCallersFailures) {
    struct Case {
        const char* name;
        int (*body)();
        int expected;
    };
    const Case cases[] = {
        {"returns", [] { return 1; }, 1},
        {"out of memory", []() -> int { throw std::bad_alloc(); }, -1},
        {"other exception", []() -> int { throw std::runtime_error("x"); }, -2},
        {"not an exception class", []() -> int { throw 5; }, -2},
    };
    for (const Case& c : cases) EXPECT_EQ(nb::NoThrow(c.body, -1, -2), c.expected) << c.name;
    EXPECT_EQ(nb::NoThrow([]() -> long { throw std::bad_alloc(); }, 9), 9);
}

}  // namespace
