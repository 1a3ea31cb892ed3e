#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/automation/automation.h"

namespace {

constexpr CLSID kScriptArrayClass = {
    0x83803D9F, 0x884B, 0x4C1D, {0x9A, 0x48, 0x17, 0xEA, 0xCD, 0xED, 0x05, 0xA3}};

class ClassCreation : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_TRUE(NbSetApplicationDirectory(NB_TEST_APP_DIR)); }
    void TearDown() override { NbSetApplicationDirectory(NB_TEST_APP_DIR); }
};

TEST_F(ClassCreation, LoadsTheServingModuleFromTheApplicationDirectory) {
    nb::ComPtr<IDispatchEx> first, second;
    ASSERT_EQ(CoCreateInstance(kScriptArrayClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatchEx,
                               first.PutVoid()),
              S_OK);
    ASSERT_EQ(
        CoCreateInstance(kScriptArrayClass, nullptr, CLSCTX_ALL, IID_IDispatchEx, second.PutVoid()),
        S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_STREQ(NbGetApplicationDirectory(), NB_TEST_APP_DIR);
}

TEST_F(ClassCreation, ReportsWhyAClassCannotBeCreated) {
    constexpr CLSID unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(
        CoCreateInstance(kScriptArrayClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
        REGDB_E_CLASSNOTREG);
    ASSERT_TRUE(NbSetApplicationDirectory("/nonexistent/application"));
    EXPECT_EQ(
        CoCreateInstance(kScriptArrayClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        CO_E_DLLNOTFOUND);
    EXPECT_EQ(object, nullptr);
    EXPECT_FALSE(NbSetApplicationDirectory(""));
}

TEST(TaskMemory, ReallocationKeepsTheContents) {
    auto* block = static_cast<char*>(CoTaskMemAlloc(4));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abc", 4);
    block = static_cast<char*>(CoTaskMemRealloc(block, 1 << 20));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "abc");
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
}

TEST(Apartments, CountPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    std::thread([] {
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    }).join();
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

}  // namespace
