// The checks every EX_ function makes first, the error report they give, and
// the module's entry points.
#include <gtest/gtest.h>

#include <ostream>

#include "common/error_report.h"
#include "external/frame/tests/shell_double.h"
#include "platform/automation/com.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

struct ArgumentCase {
    const char* function;
    std::vector<TestValue> arguments;
    WORD code;
};
void PrintTo(const ArgumentCase& c, std::ostream* os) {
    *os << c.function << " with " << c.arguments.size() << " arguments";
}

CallOutcome CallWith(ShellDouble& shell, const ArgumentCase& c) {
    ExFunction function = LoadExport(c.function);
    switch (c.arguments.size()) {
        case 0:
            return shell.Call(function, {});
        case 1:
            return shell.Call(function, {c.arguments[0]});
        case 2:
            return shell.Call(function, {c.arguments[0], c.arguments[1]});
        default:
            return shell.Call(function, {c.arguments[0], c.arguments[1], c.arguments[2]});
    }
}

class RejectedArguments : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(RejectedArguments, AreReportedBeforeAnyWork) {
    ShellDouble shell;
    const ArgumentCase& c = GetParam();
    const CallOutcome outcome = CallWith(shell, c);
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.scode, -static_cast<SCODE>(c.code));
    EXPECT_EQ(outcome.source, u"External::" + ToUtf16(std::string(c.function).substr(3)));
    EXPECT_EQ(outcome.description, c.code == NB_ERROR_PARAMETERS_COUNT ? NB_MESSAGE_PARAMETERS_COUNT
                                                                       : NB_MESSAGE_TYPE_MISMATCH);
    EXPECT_EQ(outcome.result.type, VT_EMPTY);
    // A worker function that refuses its arguments starts no thread.
    EXPECT_EQ(shell.registrations(), 0);
}

constexpr WORD kCount = NB_ERROR_PARAMETERS_COUNT;
constexpr WORD kKind = NB_ERROR_TYPE_MISMATCH;

INSTANTIATE_TEST_SUITE_P(
    EveryFunction, RejectedArguments,
    ::testing::Values(ArgumentCase{"EX_FileSize", {}, kCount},
                      ArgumentCase{"EX_FileSize", {u"/a", u"/b"}, kCount},
                      ArgumentCase{"EX_FileSize", {LONG{5}}, kKind},
                      ArgumentCase{"EX_FileSize", {std::monostate{}}, kKind},
                      ArgumentCase{"EX_GetSpecialFolderPath", {}, kCount},
                      ArgumentCase{"EX_GetSpecialFolderPath", {u"Desktop", u"Music"}, kCount},
                      ArgumentCase{"EX_GetSpecialFolderPath", {true}, kKind},
                      ArgumentCase{"EX_ExpandEnvVariable", {}, kCount},
                      ArgumentCase{"EX_ExpandEnvVariable", {u"a", u"b"}, kCount},
                      ArgumentCase{"EX_ExpandEnvVariable", {LONG{1}}, kKind},
                      ArgumentCase{"EX_RunExecutable", {}, kCount},
                      ArgumentCase{"EX_RunExecutable", {u"true", true, true}, kCount},
                      ArgumentCase{"EX_RunExecutable", {LONG{1}}, kKind},
                      ArgumentCase{"EX_RunExecutable", {u"true", LONG{1}}, kKind},
                      ArgumentCase{"EX_RunExecutable", {std::monostate{}, true}, kKind}));

// The directory functions read no arguments, so any number is accepted.
TEST(DirectoryFunctions, AcceptAnyArguments) {
    ShellDouble shell;
    for (const char* name : {"EX_GetTempDir", "EX_GetApplicationDir"}) {
        EXPECT_EQ(shell.Call(LoadExport(name), {}).hr, S_OK) << name;
        EXPECT_EQ(shell.Call(LoadExport(name), {LONG{1}, true, u"x"}).hr, S_OK) << name;
    }
}

TEST(ModuleEntryPoints, ServeNoClassAndRegisterNothing) {
    using GetClassObject = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
    using Simple = HRESULT (*)();
    auto get_class_object = reinterpret_cast<GetClassObject>(LoadModuleSymbol("DllGetClassObject"));
    ASSERT_NE(get_class_object, nullptr);
    void* object = reinterpret_cast<void*>(1);
    const CLSID any{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(get_class_object(any, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(get_class_object(any, IID_IClassFactory, nullptr), E_POINTER);
    for (const char* name : {"DllRegisterServer", "DllUnregisterServer"}) {
        auto entry = reinterpret_cast<Simple>(LoadModuleSymbol(name));
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry(), S_OK) << name;
    }
}

// A running worker keeps the module's code in use.
TEST(ModuleEntryPoints, CannotUnloadWhileAWorkerRuns) {
    auto can_unload = reinterpret_cast<HRESULT (*)()>(LoadModuleSymbol("DllCanUnloadNow"));
    ASSERT_NE(can_unload, nullptr);
    ShellDouble shell;
    // Workers of earlier tests may still be taking their last steps.
    EXPECT_TRUE(shell.PumpUntil([&] { return can_unload() == S_OK; }, 5000));
    const CallOutcome started = shell.Call(LoadExport("EX_RunExecutable"), {u"sleep 30", true});
    ASSERT_EQ(started.hr, S_OK);
    EXPECT_EQ(can_unload(), S_FALSE);
    shell.SendCommand(0, NB_COMMAND_STOP);
    ASSERT_TRUE(shell.WaitUntilFinished(static_cast<DWORD>(started.result.number)));
    EXPECT_TRUE(shell.PumpUntil([&] { return can_unload() == S_OK; }, 5000));
}

}  // namespace
}  // namespace nb::external::testing
