#include "common/task_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "common/tests/script_value_fixtures.h"

namespace {

using nb::testing::MessageBoxRecorder;

// More than any allocator hands out; the tests run with
// allocator_may_return_null=1 so the sanitizer build answers null too.
constexpr SIZE_T kImpossibleSize = SIZE_MAX / 2;

TEST(TaskMemory, AllocationReplacesTheBlockTheVariableHeld) {
    MessageBoxRecorder recorder;
    char* text = nullptr;
    ASSERT_TRUE(NB_MEM_OLEALLOC(text, 8));
    std::strcpy(text, "first");
    ASSERT_TRUE(NB_MEM_OLEALLOC(text, 16));  // the first block is freed, not leaked
    ASSERT_NE(text, nullptr);
    CoTaskMemFree(text);
    EXPECT_TRUE(recorder.boxes().empty());
}

TEST(TaskMemory, FailedAllocationShowsItsBox) {
    MessageBoxRecorder recorder;
    char* block = static_cast<char*>(CoTaskMemAlloc(8));
    EXPECT_FALSE(NB_MEM_OLEALLOC(block, kImpossibleSize));
    EXPECT_EQ(block, nullptr);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    const auto& box = recorder.boxes()[0];
    EXPECT_FALSE(box.has_owner);
    EXPECT_EQ(box.text, u"Failed to CoTaskMemAlloc()");
    EXPECT_EQ(box.caption, u"NB_MEM_OLEALLOC");
    EXPECT_EQ(box.type, MB_OK);
}

TEST(TaskMemory, ReallocationGrowsOrKeepsTheOldBlock) {
    MessageBoxRecorder recorder;
    char* text = nullptr;
    ASSERT_TRUE(NB_MEM_OLEREALLOC(text, 6));
    std::strcpy(text, "kept");
    ASSERT_TRUE(NB_MEM_OLEREALLOC(text, 4096));
    EXPECT_STREQ(text, "kept");
    EXPECT_TRUE(recorder.boxes().empty());

    char* const before = text;
    EXPECT_FALSE(NB_MEM_OLEREALLOC(text, kImpossibleSize));
    EXPECT_EQ(text, before);  // still owned by the variable, contents intact
    EXPECT_STREQ(text, "kept");
    ASSERT_EQ(recorder.boxes().size(), 1u);
    EXPECT_EQ(recorder.boxes()[0].text, u"Failed to CoTaskMemRealloc()");
    EXPECT_EQ(recorder.boxes()[0].caption, u"NB_MEM_OLEREALLOC");
    EXPECT_EQ(recorder.boxes()[0].type, MB_OK);
    CoTaskMemFree(text);
}

}  // namespace
