#include "common/native_vector.h"

#include <gtest/gtest.h>

#include <string>

#include "common/argument_copy.h"
#include "common/script_array.h"
#include "common/tests/script_value_fixtures.h"

namespace {

using nb::testing::ApplicationDirectory;
using nb::testing::DispatchOf;
using nb::testing::FakeExpando;
using nb::testing::IntegerValue;

// Reads element index of a vector, failing the test when it is missing.
const VARIANT& ElementOf(const VARIANT& vector, LONG index) {
    const VARIANT* element = nullptr;
    EXPECT_EQ(NB_VECTOR_GETELEMENT(&vector, index, &element), S_OK);
    static const VARIANT missing{};
    return element ? *element : missing;
}

LONG LengthOf(const VARIANT& vector) {
    LONG count = -1;
    EXPECT_EQ(NB_VECTOR_LENGTH(&vector, &count), S_OK);
    return count;
}

void ExpectVectorLayout(const VARIANT& vector, WORD count) {
    EXPECT_EQ(vector.vt, VT_VARIANT);
    EXPECT_EQ(vector.wReserved1, count);
    EXPECT_EQ(vector.wReserved2, count);
    EXPECT_EQ(vector.wReserved3, count);
    ASSERT_NE(vector.pvarVal, nullptr);
    EXPECT_EQ(vector.pvarVal[count].vt, VT_EMPTY);  // the spare entry
}

class NativeVector : public ::testing::Test {
   protected:
    // A real script array holding the given values in order.
    static void MakeArray(VARIANT* array, std::initializer_list<const VARIANT*> values) {
        ASSERT_EQ(NB_ARRAY_CREATE(array), S_OK);
        int index = 0;
        for (const VARIANT* value : values)
            ASSERT_EQ(NB_ARRAY_ADDELEMENT(array, index++, value), S_OK);
    }

    ApplicationDirectory m_directory;
};

TEST_F(NativeVector, AnEmptyArrayGivesAnEmptyVector) {
    nb::Variant array;
    MakeArray(&array, {});
    nb::NativeVariant vector;
    ASSERT_EQ(NB_ARRAY_TOVECTOR(&vector, &array), S_OK);
    ExpectVectorLayout(vector, 0);
    EXPECT_EQ(LengthOf(vector), 0);
    const VARIANT* element = nullptr;
    EXPECT_EQ(NB_VECTOR_GETELEMENT(&vector, 0, &element), DISP_E_BADINDEX);
}

TEST_F(NativeVector, AnArrayOfArraysGivesAVectorOfVectors) {
    nb::Variant text, inner, empty, outer;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"song.wav");
    const VARIANT seven = IntegerValue(7);
    MakeArray(&empty, {});
    MakeArray(&inner, {&seven, &empty});
    MakeArray(&outer, {&text, &inner, &seven});

    nb::NativeVariant vector;
    ASSERT_EQ(NB_ARRAY_TOVECTOR(&vector, &outer), S_OK);
    ExpectVectorLayout(vector, 3);
    const VARIANT& copied_text = ElementOf(vector, 0);
    ASSERT_EQ(copied_text.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(copied_text.bstrVal), u"song.wav");
    EXPECT_NE(copied_text.bstrVal, text.bstrVal);  // a copy, not the script's string

    const VARIANT& nested = ElementOf(vector, 1);
    ExpectVectorLayout(nested, 2);
    EXPECT_EQ(ElementOf(nested, 0).lVal, 7);
    ExpectVectorLayout(ElementOf(nested, 1), 0);
    EXPECT_EQ(ElementOf(vector, 2).lVal, 7);

    // Clearing frees the nested vectors too; the sanitizer build checks that nothing leaks.
    EXPECT_EQ(NB_VARIANT_CLEAR(&vector), S_OK);
    EXPECT_EQ(vector.vt, VT_EMPTY);
    EXPECT_EQ(vector.wReserved1, 0);
}

TEST_F(NativeVector, ElementsThatCannotBeReadBecomeEmpty) {
    FakeExpando not_an_array;  // an object without "length"; outlives the array holding it
    FakeExpando array;
    array.SetLength(3);
    array.SetProperty(u"0", IntegerValue(5));
    array.SetProperty(u"2", DispatchOf(&not_an_array));

    nb::NativeVariant vector;
    const VARIANT source = DispatchOf(&array);
    ASSERT_EQ(NB_ARRAY_TOVECTOR(&vector, &source), S_OK);
    ASSERT_EQ(LengthOf(vector), 3);
    EXPECT_EQ(ElementOf(vector, 0).lVal, 5);
    EXPECT_EQ(ElementOf(vector, 1).vt, VT_EMPTY);  // no member "1"
    EXPECT_EQ(ElementOf(vector, 2).vt, VT_EMPTY);
}

// Arrays that a vector cannot represent are refused, never truncated.
TEST_F(NativeVector, RefusesArraysItCannotRepresent) {
    struct Case {
        const char* name;
        LONG length;
        HRESULT expected;
    };
    const Case cases[] = {
        {"longest", NB_VECTOR_MAX_LENGTH, S_OK},
        {"one too long", NB_VECTOR_MAX_LENGTH + 1, E_INVALIDARG},
        {"negative", -1, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeExpando array;
        array.SetLength(c.length);
        const VARIANT source = DispatchOf(&array);
        nb::NativeVariant vector;
        vector.vt = VT_I4;
        ASSERT_EQ(NB_ARRAY_TOVECTOR(&vector, &source), c.expected);
        if (SUCCEEDED(c.expected)) {
            EXPECT_EQ(LengthOf(vector), c.length);
        } else {
            EXPECT_EQ(vector.vt, VT_I4);  // untouched
        }
    }
}

TEST_F(NativeVector, AnArrayHoldingItselfIsRefused) {
    nb::Variant array;
    MakeArray(&array, {});
    ASSERT_EQ(NB_ARRAY_ADDELEMENT(&array, 0, &array), S_OK);
    nb::NativeVariant vector;
    EXPECT_EQ(NB_ARRAY_TOVECTOR(&vector, &array), E_INVALIDARG);
    EXPECT_EQ(vector.vt, VT_EMPTY);
    ASSERT_EQ(NB_ARRAY_ADDINT(&array, 0, 0), S_OK);  // breaks the reference cycle
}

TEST_F(NativeVector, LengthAndElementsRefuseOtherValues) {
    const VARIANT number = IntegerValue(3);
    LONG count = 0;
    const VARIANT* element = nullptr;
    EXPECT_EQ(NB_VECTOR_LENGTH(&number, &count), E_INVALIDARG);
    EXPECT_EQ(NB_VECTOR_LENGTH(&number, nullptr), E_POINTER);
    EXPECT_EQ(NB_VECTOR_GETELEMENT(&number, 0, &element), E_INVALIDARG);
    EXPECT_EQ(NB_ARRAY_TOVECTOR(nullptr, &number), E_POINTER);
    nb::NativeVariant vector;
    EXPECT_EQ(NB_ARRAY_TOVECTOR(&vector, &number), E_FAIL);
}

TEST_F(NativeVector, WorkerCopyHoldsMixedArgumentsInOrder) {
    nb::Variant list;
    const VARIANT one = IntegerValue(1), two = IntegerValue(2);
    MakeArray(&list, {&one, &two});
    VARIANT arguments[5] = {};
    arguments[0].vt = VT_BSTR;
    arguments[0].bstrVal = SysAllocString(u"http://example.test/");
    arguments[1] = list;  // a view; list keeps the reference
    arguments[2] = IntegerValue(200);
    arguments[3].vt = VT_NULL;
    arguments[4].vt = VT_BOOL;
    arguments[4].boolVal = VARIANT_TRUE;
    DISPID named = DISPID_PROPERTYPUT;
    const DISPPARAMS params = {arguments, &named, 5, 1};

    nb::ArgumentCopy copy(NB_DISPPARAMS_COPY(&params));
    SysFreeString(arguments[0].bstrVal);  // the copy owns its own strings
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->cArgs, 5u);
    EXPECT_EQ(copy->cNamedArgs, 0u);
    EXPECT_EQ(copy->rgdispidNamedArgs, nullptr);
    EXPECT_EQ(std::u16string(copy->rgvarg[0].bstrVal), u"http://example.test/");
    ExpectVectorLayout(copy->rgvarg[1], 2);
    EXPECT_EQ(ElementOf(copy->rgvarg[1], 1).lVal, 2);
    EXPECT_EQ(copy->rgvarg[2].lVal, 200);
    EXPECT_EQ(copy->rgvarg[3].vt, VT_NULL);
    EXPECT_EQ(copy->rgvarg[4].boolVal, VARIANT_TRUE);
    EXPECT_EQ(copy->rgvarg[5].vt, VT_EMPTY);  // the spare entry
}

TEST_F(NativeVector, WorkerCopyOfAnArrayItCannotRepresentFails) {
    FakeExpando too_long;
    too_long.SetLength(NB_VECTOR_MAX_LENGTH + 1);
    VARIANT arguments[2] = {IntegerValue(1), DispatchOf(&too_long)};
    const DISPPARAMS params = {arguments, nullptr, 2, 0};
    DISPPARAMS sentinel{};
    DISPPARAMS* copy = &sentinel;
    EXPECT_EQ(NbCopyArgumentsForWorker(&params, &copy), E_INVALIDARG);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(NB_DISPPARAMS_COPY(&params), nullptr);

    const DISPPARAMS none = {nullptr, nullptr, 0, 0};
    nb::ArgumentCopy empty(NB_DISPPARAMS_COPY(&none));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->cArgs, 0u);
    EXPECT_EQ(empty->rgvarg[0].vt, VT_EMPTY);
}

}  // namespace
