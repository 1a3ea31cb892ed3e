// The module around the array: its entry points, class object, interfaces
// and lock count, reached the way other deliverables reach them.
#include <dlfcn.h>

#include <ostream>
#include <string>

#include "utils/tests/js_array_fixture.h"

namespace nb::utils::testing {
namespace {

const std::string kModulePath = std::string(NB_TEST_APP_DIR) + "/internals/NbUtils.so";

struct QueryCase {
    const IID* iid;
    HRESULT hr;
    bool same_as_array;
};
void PrintTo(const QueryCase& c, std::ostream* os) { *os << std::hex << c.iid->Data1; }

class QueryInterfaceOf : public JsArrayTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryInterfaceOf, AnswersTheArrayInterfacesOnOnePointer) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_array->QueryInterface(*GetParam().iid, &object), GetParam().hr);
    if (FAILED(GetParam().hr)) {
        EXPECT_EQ(object, nullptr);
        return;
    }
    ComPtr<IUnknown> answered = ComPtr<IUnknown>::Attach(static_cast<IUnknown*>(object));
    EXPECT_EQ(object == static_cast<void*>(m_array.Get()), GetParam().same_as_array);
}

INSTANTIATE_TEST_SUITE_P(Interfaces, QueryInterfaceOf,
                         ::testing::Values(QueryCase{&IID_IUnknown, S_OK, true},
                                           QueryCase{&IID_IDispatch, S_OK, true},
                                           QueryCase{&IID_IDispatchEx, S_OK, true},
                                           QueryCase{&IID_INbJsArray, S_OK, true},
                                           QueryCase{&IID_ISupportErrorInfo, S_OK, false},
                                           QueryCase{&IID_IServiceProvider, E_NOINTERFACE, false},
                                           QueryCase{&IID_IClassFactory, E_NOINTERFACE, false}));

TEST_F(JsArrayTest, ErrorInfoIsDeclaredForTheArrayInterfaceOnly) {
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(m_array.As(IID_ISupportErrorInfo, &support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_INbJsArray), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatchEx), S_FALSE);
    // Both bases share one reference count.
    ComPtr<IUnknown> identity;
    ASSERT_EQ(support.As(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(m_array.Get()));
}

TEST_F(JsArrayTest, AggregationIsRefused) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_NbJsArray, m_array.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                               &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
}

class ModuleTest : public JsArrayTest {
   protected:
    void SetUp() override {
        JsArrayTest::SetUp();
        // The array of the fixture has loaded the module already.
        m_module = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(m_module, nullptr) << dlerror();
    }
    void TearDown() override {
        if (m_module) dlclose(m_module);
        JsArrayTest::TearDown();
    }
    template <typename Function>
    Function Export(const char* name) {
        return reinterpret_cast<Function>(dlsym(m_module, name));
    }

    void* m_module = nullptr;
};

TEST_F(ModuleTest, ExportsTheEntryPoints) {
    for (const char* name :
         {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(dlsym(m_module, name), nullptr) << name;
    using Registration = HRESULT (*)();
    EXPECT_EQ(Export<Registration>("DllRegisterServer")(), S_OK);
    EXPECT_EQ(Export<Registration>("DllUnregisterServer")(), S_OK);
}

TEST_F(ModuleTest, ClassObjectServesOnlyTheArrayClass) {
    auto get_class_object = Export<DllGetClassObjectFunction>("DllGetClassObject");
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(get_class_object(IID_IDispatch, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get_class_object(CLSID_NbJsArray, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(factory->CreateInstance(m_array.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IServiceProvider, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ComPtr<IDispatchEx> array;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatchEx, array.PutVoid()), S_OK);
    DISPID dispid = 0;
    Bstr length(u"length");
    EXPECT_EQ(array->GetDispID(length.Get(), 0, &dispid), S_OK);
    EXPECT_EQ(dispid, kLength);
}

TEST_F(ModuleTest, CanUnloadOnlyWithoutObjectsClassObjectsOrLocks) {
    auto can_unload_now = Export<DllCanUnloadNowFunction>("DllCanUnloadNow");
    EXPECT_EQ(can_unload_now(), S_FALSE);
    m_array.Reset();
    EXPECT_EQ(can_unload_now(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_NbJsArray, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.PutVoid()),
              S_OK);
    EXPECT_EQ(can_unload_now(), S_FALSE);
    EXPECT_EQ(factory->LockServer(1), S_OK);
    factory.Reset();
    EXPECT_EQ(can_unload_now(), S_FALSE);
    ASSERT_EQ(CoGetClassObject(CLSID_NbJsArray, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.PutVoid()),
              S_OK);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    factory.Reset();
    EXPECT_EQ(can_unload_now(), S_OK);
}

}  // namespace
}  // namespace nb::utils::testing
