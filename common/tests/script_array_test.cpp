#include "common/script_array.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/tests/script_value_fixtures.h"

namespace {

using nb::testing::ApplicationDirectory;
using nb::testing::DispatchOf;
using nb::testing::FakeExpando;
using nb::testing::IntegerValue;
using nb::testing::MessageBoxRecorder;

std::u16string TextOf(const VARIANT& value) {
    return value.vt == VT_BSTR && value.bstrVal ? std::u16string(value.bstrVal) : u"";
}

TEST(ScriptArray, FillsAndReadsTheRealArrayClass) {
    ApplicationDirectory directory;
    nb::Variant array;
    ASSERT_EQ(NB_ARRAY_CREATE(&array), S_OK);
    ASSERT_EQ(array.vt, VT_DISPATCH);
    ASSERT_NE(array.pdispVal, nullptr);

    LONG length = -1;
    ASSERT_EQ(NB_ARRAY_GETLENGTH(&array, &length), S_OK);
    EXPECT_EQ(length, 0);

    VARIANT flag{};
    flag.vt = VT_BOOL;
    flag.boolVal = VARIANT_TRUE;
    EXPECT_EQ(NB_ARRAY_ADDSTRING(&array, 0, u"first"), S_OK);
    EXPECT_EQ(NB_ARRAY_ADDINT(&array, 1, -7), S_OK);
    EXPECT_EQ(NB_ARRAY_ADDELEMENT(&array, 2, &flag), S_OK);
    ASSERT_EQ(NB_ARRAY_GETLENGTH(&array, &length), S_OK);
    EXPECT_EQ(length, 3);

    nb::Variant element;
    ASSERT_EQ(NB_ARRAY_GETELEMENT(&array, 0, &element), S_OK);
    EXPECT_EQ(TextOf(element), u"first");
    ASSERT_EQ(NB_ARRAY_GETELEMENT(&array, 1, &element), S_OK);
    EXPECT_EQ(element.vt, VT_I4);
    EXPECT_EQ(element.lVal, -7);
    ASSERT_EQ(NB_ARRAY_GETELEMENT(&array, 2, &element), S_OK);
    EXPECT_EQ(element.vt, VT_BOOL);
    EXPECT_EQ(element.boolVal, VARIANT_TRUE);
}

TEST(ScriptArray, AMissingElementLeavesTheOutputAsItWas) {
    ApplicationDirectory directory;
    nb::Variant array;
    ASSERT_EQ(NB_ARRAY_CREATE(&array), S_OK);
    ASSERT_EQ(NB_ARRAY_ADDINT(&array, 0, 1), S_OK);
    VARIANT element = IntegerValue(42);
    EXPECT_EQ(NB_ARRAY_GETELEMENT(&array, 5, &element), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(element.vt, VT_I4);
    EXPECT_EQ(element.lVal, 42);
}

TEST(ScriptArray, CreationFailureShowsTheBoxAndLeavesTheResult) {
    const auto empty =
        std::filesystem::temp_directory_path() / ("nb-no-modules-" + std::to_string(::getpid()));
    std::filesystem::create_directories(empty / "internals");
    {
        ApplicationDirectory directory(empty.c_str());
        MessageBoxRecorder recorder;
        VARIANT result = IntegerValue(42);
        EXPECT_EQ(NB_ARRAY_CREATE(&result), E_FAIL);
        EXPECT_EQ(result.vt, VT_I4);
        EXPECT_EQ(result.lVal, 42);
        ASSERT_EQ(recorder.boxes().size(), 1u);
        const auto& box = recorder.boxes()[0];
        EXPECT_FALSE(box.has_owner);
        EXPECT_EQ(box.text, u"CoCreateInstance(CLSID_NbJsArray)");
        EXPECT_EQ(box.caption, u"NbCommon/__nb_arraycreate");
        EXPECT_EQ(box.type, MB_OK);
        EXPECT_EQ(NB_ARRAY_CREATE(nullptr), E_POINTER);
    }
    std::filesystem::remove_all(empty);
}

// Each access on a value that is not a usable array, and the code it gives.
struct UnusableArrayCase {
    const char* name;
    VARIANT array;
    HRESULT add;
    HRESULT length;
    HRESULT element;
};

TEST(ScriptArray, RefusesValuesThatAreNotUsableArrays) {
    FakeExpando dispatch_only(FakeExpando::Interfaces::DispatchOnly);
    const UnusableArrayCase cases[] = {
        {"integer", IntegerValue(1), E_FAIL, E_FAIL, E_FAIL},
        {"null object", DispatchOf(nullptr), E_POINTER, E_POINTER, E_POINTER},
        {"no IDispatchEx nor length", DispatchOf(&dispatch_only), E_FAIL, DISP_E_UNKNOWNNAME,
         DISP_E_UNKNOWNNAME},
    };
    const VARIANT value = IntegerValue(3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LONG length = 99;
        VARIANT element = IntegerValue(42);
        EXPECT_EQ(NB_ARRAY_ADDELEMENT(&c.array, 0, &value), c.add);
        EXPECT_EQ(NB_ARRAY_GETLENGTH(&c.array, &length), c.length);
        EXPECT_EQ(NB_ARRAY_GETELEMENT(&c.array, 0, &element), c.element);
        EXPECT_EQ(length, 99);
        EXPECT_EQ(element.lVal, 42);
    }
    EXPECT_EQ(dispatch_only.references(), 1u);

    FakeExpando array;
    const VARIANT usable = DispatchOf(&array);
    EXPECT_EQ(NB_ARRAY_GETLENGTH(&usable, nullptr), E_POINTER);
    EXPECT_EQ(NB_ARRAY_GETELEMENT(&usable, 0, nullptr), E_POINTER);
    EXPECT_EQ(NB_ARRAY_ADDELEMENT(&usable, 0, nullptr), E_POINTER);
}

// How a value is put: by reference exactly when it carries VT_BYREF.
struct PutModeCase {
    const char* name;
    VARTYPE type;
    int index;
    WORD flags;
    std::u16string name_text;
};

TEST(ScriptArray, PutsByReferenceOnlyForByReferenceValues) {
    const PutModeCase cases[] = {
        {"integer", VT_I4, 0, DISPATCH_PROPERTYPUT, u"0"},
        {"string", VT_BSTR, 12, DISPATCH_PROPERTYPUT, u"12"},
        {"integer by reference", VT_I4 | VT_BYREF, 7, DISPATCH_PROPERTYPUTREF, u"7"},
        {"variant by reference", VT_VARIANT | VT_BYREF, -1, DISPATCH_PROPERTYPUTREF, u"-1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeExpando array;
        const VARIANT target = DispatchOf(&array);
        LONG referenced = 5;
        VARIANT value{};
        value.vt = c.type;
        value.plVal = &referenced;  // never read through: the fake records only the tag
        ASSERT_EQ(NB_ARRAY_ADDELEMENT(&target, c.index, &value), S_OK);
        ASSERT_EQ(array.puts.size(), 1u);
        const auto& put = array.puts[0];
        EXPECT_EQ(put.name, c.name_text);
        EXPECT_EQ(put.ensure_flags, fdexNameEnsure);
        EXPECT_EQ(put.locale, LOCALE_USER_DEFAULT);
        EXPECT_EQ(put.flags, c.flags);
        EXPECT_EQ(put.arguments, 1u);
        EXPECT_EQ(put.named_arguments, 1u);
        EXPECT_EQ(put.first_named, DISPID_PROPERTYPUT);
        EXPECT_EQ(put.type, c.type);
        EXPECT_FALSE(put.has_result || put.has_exception || put.has_caller);
        EXPECT_EQ(array.references(), 1u);  // the IDispatchEx reference was released
    }
}

TEST(ScriptArray, AnyFailureOfTheObjectWhileAddingIsEFail) {
    const VARIANT value = IntegerValue(1);
    FakeExpando refuses_name;
    refuses_name.get_dispid_answer = DISP_E_UNKNOWNNAME;
    FakeExpando refuses_put;
    refuses_put.invoke_ex_answer = E_ACCESSDENIED;
    for (FakeExpando* array : {&refuses_name, &refuses_put}) {
        const VARIANT target = DispatchOf(array);
        EXPECT_EQ(NB_ARRAY_ADDELEMENT(&target, 0, &value), E_FAIL);
        EXPECT_EQ(array->references(), 1u);
    }
    EXPECT_TRUE(refuses_name.puts.empty());
}

TEST(ScriptArray, LengthIsConvertedToAnIntegerWithTheSystemLocale) {
    FakeExpando array;
    const VARIANT target = DispatchOf(&array);
    nb::Variant text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"4");
    array.SetProperty(u"length", text);
    LONG length = 0;
    ASSERT_EQ(NB_ARRAY_GETLENGTH(&target, &length), S_OK);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(array.lookup_locales, std::vector<LCID>{LOCALE_SYSTEM_DEFAULT});
    EXPECT_EQ(array.invoke_locales, std::vector<LCID>{LOCALE_SYSTEM_DEFAULT});

    SysFreeString(text.bstrVal);
    text.bstrVal = SysAllocString(u"many");
    array.SetProperty(u"length", text);
    EXPECT_EQ(NB_ARRAY_GETLENGTH(&target, &length), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(length, 4);
}

}  // namespace
