#include "common/result_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/tests/script_value_fixtures.h"

namespace {

using nb::testing::ApplicationDirectory;
using nb::testing::MessageBoxRecorder;

// The error report the caller received, freed when the test ends.
struct Report {
    EXCEPINFO record{};
    ~Report() {
        SysFreeString(record.bstrSource);
        SysFreeString(record.bstrDescription);
    }
    std::u16string description() const {
        return record.bstrDescription ? record.bstrDescription : u"";
    }
};

LONG LengthOf(const VARIANT& array) {
    LONG length = -1;
    EXPECT_EQ(NB_ARRAY_GETLENGTH(&array, &length), S_OK);
    return length;
}

TEST(ResultList, AddsTheItemsInOrder) {
    ApplicationDirectory directory;
    const std::vector<std::u16string> names = {u"Track 1", u"Track 2", u"Track 3"};
    nb::Variant result;
    Report report;
    ASSERT_EQ(NbReturnStringList(&result, &report.record, u"GetDrives", names), S_OK);
    ASSERT_EQ(LengthOf(result), 3);
    nb::Variant last;
    ASSERT_EQ(NB_ARRAY_GETELEMENT(&result, 2, &last), S_OK);
    EXPECT_EQ(std::u16string(last.bstrVal), u"Track 3");
    EXPECT_EQ(report.record.wCode, 0);

    nb::Variant numbers;
    const std::vector<LONG> none;
    ASSERT_EQ(NbReturnIntegerList(&numbers, nullptr, u"GetTracks", none), S_OK);
    EXPECT_EQ(numbers.vt, VT_DISPATCH);
    EXPECT_EQ(LengthOf(numbers), 0);
}

TEST(ResultList, TheFirstFailedItemLeavesThePartlyFilledArray) {
    ApplicationDirectory directory;
    nb::Variant result;
    Report report;
    int calls = 0;
    const HRESULT hr = NbReturnList(&result, &report.record, u"GetTracks", 4,
                                    [&calls](const VARIANT& array, int index) {
                                        ++calls;
                                        if (index == 2) return E_FAIL;
                                        return NB_ARRAY_ADDINT(&array, index, index * 10);
                                    });
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(report.record.wCode, NB_ERROR_RESULT_LIST);
    EXPECT_EQ(report.description(), u"Catastrophic: NB_ARRAY_ADDELEMENT() failed");
    ASSERT_EQ(result.vt, VT_DISPATCH);
    EXPECT_EQ(LengthOf(result), 2);
}

TEST(ResultList, ACreationFailureIsReportedWithAnEmptyResult) {
    const auto empty = std::filesystem::temp_directory_path() /
                       ("nb-no-modules-list-" + std::to_string(::getpid()));
    std::filesystem::create_directories(empty);
    {
        ApplicationDirectory directory(empty.c_str());
        MessageBoxRecorder recorder;
        nb::Variant result;
        Report report;
        EXPECT_EQ(
            NbReturnIntegerList(&result, &report.record, u"GetDiscId", std::vector<LONG>{1, 2}),
            DISP_E_EXCEPTION);
        EXPECT_EQ(result.vt, VT_EMPTY);
        EXPECT_EQ(report.record.wCode, NB_ERROR_RESULT_LIST);
        EXPECT_EQ(report.description(), u"Catastrophic: NB_ARRAY_CREATE() failed");
        EXPECT_EQ(std::u16string(report.record.bstrSource), u"External::GetDiscId");
        EXPECT_EQ(recorder.boxes().size(), 1u);
    }
    std::filesystem::remove_all(empty);
}

}  // namespace
