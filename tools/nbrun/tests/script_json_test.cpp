// JSON to script values and back, with real NbUtils script arrays.
#include "tools/nbrun/script_json.h"

#include <gtest/gtest.h>

#include "common/script_array.h"
#include "platform/automation/automation.h"
#include "tools/nbrun/json_output.h"

namespace nb::nbrun {
namespace {

using nlohmann::json;

class ScriptJson : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_TRUE(NbSetApplicationDirectory(NB_TEST_APP_DIR)); }
};

TEST_F(ScriptJson, ScalarsBecomeTheValuesPagesPass) {
    struct Case {
        const char* text;
        VARTYPE type;
    };
    const Case cases[] = {
        {R"("text")", VT_BSTR}, {"7", VT_I4},           {"-2147483648", VT_I4},
        {"2147483648", VT_R8},  {"-2147483649", VT_R8}, {"1.5", VT_R8},
        {"true", VT_BOOL},      {"null", VT_NULL},      {"[]", VT_DISPATCH},
    };
    for (const Case& c : cases) {
        nb::Variant value;
        ASSERT_EQ(JsonToScriptValue(json::parse(c.text), &value), S_OK) << c.text;
        EXPECT_EQ(value.vt, c.type) << c.text;
    }
    nb::Variant flag;
    ASSERT_EQ(JsonToScriptValue(json(true), &flag), S_OK);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);
}

TEST_F(ScriptJson, ArraysBecomeScriptArraysInOrder) {
    nb::Variant array;
    ASSERT_EQ(JsonToScriptValue(json::parse(R"([1, "a", [2, [null]]])"), &array), S_OK);
    LONG length = 0;
    ASSERT_EQ(NB_ARRAY_GETLENGTH(&array, &length), S_OK);
    EXPECT_EQ(length, 3);
    nb::Variant second;
    ASSERT_EQ(NB_ARRAY_GETELEMENT(&array, 1, &second), S_OK);
    EXPECT_EQ(second.vt, VT_BSTR);
    EXPECT_EQ(ScriptValueToJson(array), json::parse(R"([1, "a", [2, [null]]])"));
}

TEST_F(ScriptJson, ObjectsAndDeepNestingAreRefused) {
    const std::string deep =
        std::string(kMaxArrayNesting + 1, '[') + std::string(kMaxArrayNesting + 1, ']');
    for (const std::string& text : {std::string(R"({"a": 1})"), std::string(R"([1, {}])"), deep}) {
        nb::Variant value;
        EXPECT_EQ(JsonToScriptValue(json::parse(text), &value), E_INVALIDARG) << text;
        EXPECT_EQ(value.vt, VT_EMPTY);
    }
}

TEST_F(ScriptJson, OutcomeLinesNameResultReportOrBareFailure) {
    nb::Variant text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"/tmp");
    const EXCEPINFO none{};
    EXPECT_EQ(JsonLine(OutcomeJson(S_OK, text, none)), R"({"result":"/tmp"})");

    nb::Variant empty;
    EXCEPINFO report{};
    report.wCode = 2105;
    report.bstrSource = SysAllocString(u"External::FileSize");
    report.bstrDescription = SysAllocString(u"Catastrophic: File not found");
    EXPECT_EQ(JsonLine(OutcomeJson(DISP_E_EXCEPTION, empty, report)),
              R"({"error":{"code":2105,"source":"External::FileSize",)"
              R"("description":"Catastrophic: File not found"}})");
    SysFreeString(report.bstrSource);
    SysFreeString(report.bstrDescription);

    EXPECT_EQ(JsonLine(OutcomeJson(DISP_E_TYPEMISMATCH, empty, none)),
              R"({"hresult":"0x80020005"})");
}

}  // namespace
}  // namespace nb::nbrun
