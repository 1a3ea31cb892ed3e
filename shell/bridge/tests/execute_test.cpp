// Execute as a page calls it: the checks of the call itself, how the script's
// arguments reach a real export of the extension library, and the shell's own
// error reports.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "shell/bridge/tests/bridge_fixture.h"

namespace nb::bridge::testing {
namespace {

namespace fs = std::filesystem;

struct MalformedCall {
    const char* what;
    std::function<ScriptValues()> arguments;
    WORD flags;
    HRESULT expected;
    UINT argument_error;
};

TEST_F(BridgeTest, MalformedCallsAreRefusedBeforeTheLibraryIsLoaded) {
    const MalformedCall cases[] = {
        {"a property get", [] { return Args().Str(u"GetTempDir"); }, DISPATCH_PROPERTYGET,
         DISP_E_MEMBERNOTFOUND, kNoArgumentError},
        {"no arguments", [] { return Args(); }, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT,
         kNoArgumentError},
        {"four arguments", [] { return Args().Str(u"GetTempDir").Int(1).Str(u"callback").Int(2); },
         DISPATCH_METHOD, DISP_E_BADPARAMCOUNT, kNoArgumentError},
        {"Execute(5)", [] { return Args().Int(5); }, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
        {"a number as name before args", [] { return Args().Int(5).Str(u"x"); }, DISPATCH_METHOD,
         DISP_E_TYPEMISMATCH, 1},
        {"a number as name before args and callback",
         [] { return Args().Int(5).Str(u"x").Str(u"callback"); }, DISPATCH_METHOD,
         DISP_E_TYPEMISMATCH, 2},
        {"a number as callback", [] { return Args().Str(u"FileSize").Array(Args()).Int(5); },
         DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
    };
    for (const MalformedCall& call : cases) {
        SCOPED_TRACE(call.what);
        const Outcome outcome = Execute(*m_bridge, call.arguments(), call.flags);
        EXPECT_EQ(outcome.hr, call.expected);
        EXPECT_EQ(outcome.argument_error, call.argument_error);
    }
    DISPPARAMS no_values{nullptr, nullptr, 1, 0};
    EXPECT_EQ(m_bridge->Execute(&no_values, DISPATCH_METHOD, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(m_bridge->Execute(nullptr, DISPATCH_METHOD, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_FALSE(m_bridge->IsExtensionLoaded());
}

// A file of known size for EX_FileSize, which accepts exactly one string.
class SizedFile {
   public:
    SizedFile() : m_path(fs::temp_directory_path() / ("bridge-size-" + std::to_string(getpid()))) {
        std::ofstream(m_path) << std::string(1234, 'x');
    }
    ~SizedFile() { fs::remove(m_path); }
    std::u16string Path() const { return m_path.u16string(); }

   private:
    fs::path m_path;
};

struct ArgumentCase {
    const char* what;
    std::function<ScriptValues()> arguments;
    HRESULT expected;
    WORD code;  // of the report, or 0
    Value result;
};

// The export's own count and kind checks (2100, 2101) show what arrived.
TEST_F(BridgeTest, ArgumentsArriveInNaturalOrder) {
    const SizedFile file;
    const std::u16string path = file.Path();
    const nb::Bstr slash(u"/");
    BSTR by_reference_text = slash.Get();
    const ArgumentCase cases[] = {
        {"no args: count 0", [] { return Args().Str(u"FileSize"); }, DISP_E_EXCEPTION, 2100, {}},
        {"empty array: count 0",
         [] { return Args().Str(u"FileSize").Array(Args()); },
         DISP_E_EXCEPTION,
         2100,
         {}},
        {"one value: count 1, copied", [&] { return Args().Str(u"FileSize").Str(path); }, S_OK, 0,
         I4(1234)},
        {"array of one", [&] { return Args().Str(u"FileSize").Array(Args().Str(path)); }, S_OK, 0,
         I4(1234)},
        {"array of two: count 2",
         [&] { return Args().Str(u"FileSize").Array(Args().Str(path).Int(1)); },
         DISP_E_EXCEPTION,
         2100,
         {}},
        {"a number: count 1 of its kind",
         [] { return Args().Str(u"FileSize").Int(5); },
         DISP_E_EXCEPTION,
         2101,
         {}},
        {"by-reference text: passed as it is",
         [&] {
             VARIANT reference{};
             reference.vt = VT_BYREF | VT_BSTR;
             reference.pbstrVal = &by_reference_text;
             return Args().Str(u"FileSize").Add(reference);
         },
         DISP_E_EXCEPTION,
         2101,
         {}},
        {"string then boolean: accepted",
         [] { return Args().Str(u"RunExecutable").Array(Args().Str(u"true").Bool(false)); },
         S_OK,
         0,
         {}},
        {"boolean then string: refused",
         [] { return Args().Str(u"RunExecutable").Array(Args().Bool(false).Str(u"true")); },
         DISP_E_EXCEPTION,
         2101,
         {}},
        {"unreadable element 0 stays empty",
         [] {
             VARIANT holes{};
             EXPECT_EQ(NB_ARRAY_CREATE(&holes), S_OK);
             VARIANT flag{};
             flag.vt = VT_BOOL;
             EXPECT_EQ(NB_ARRAY_ADDELEMENT(&holes, 1, &flag), S_OK);
             return Args().Str(u"RunExecutable").Add(holes);
         },
         DISP_E_EXCEPTION,
         2101,
         {}},
    };
    for (const ArgumentCase& call : cases) {
        SCOPED_TRACE(call.what);
        const Outcome outcome = Execute(*m_bridge, call.arguments());
        EXPECT_EQ(outcome.hr, call.expected);
        EXPECT_EQ(outcome.code, call.code);
        if (call.code != 0) {
            EXPECT_EQ(outcome.scode, -call.code);
        }
        if (call.expected == S_OK) {
            EXPECT_EQ(outcome.scode, 0);  // the stale record was cleared
        }
        if (call.result.type != VT_EMPTY) {
            EXPECT_EQ(outcome.result, call.result);
        }
    }
    EXPECT_TRUE(WaitForWorkersToEnd());
}

TEST_F(BridgeTest, MissingExportIsReport1101AndTheLibraryStaysLoaded) {
    for (const char16_t* name : {u"NoSuchFunction", u"EX_GetTempDir", u""}) {
        const Outcome outcome = Execute(*m_bridge, Args().Str(name));
        EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(outcome.code, 1101);
        EXPECT_EQ(outcome.scode, -1101);
        EXPECT_EQ(outcome.source, u"Invoke");
        EXPECT_EQ(outcome.description, u"Function not found in NbExternal.dll");
        EXPECT_TRUE(m_bridge->IsExtensionLoaded());
    }
    // Without a record the call still fails the same way.
    ScriptValues name = Args().Str(u"NoSuchFunction");
    DISPPARAMS params = name.Params();
    EXPECT_EQ(m_bridge->Execute(&params, DISPATCH_METHOD, nullptr, nullptr, nullptr),
              DISP_E_EXCEPTION);

    const Outcome temp = Execute(*m_bridge, Args().Str(u"GetTempDir"));
    EXPECT_EQ(temp.hr, S_OK);
    EXPECT_EQ(temp.result.type, VT_BSTR);
    EXPECT_FALSE(temp.result.text.empty());
}

// An application directory of its own, whose internals/ starts empty.
class ScratchApplication {
   public:
    ScratchApplication()
        : m_root(fs::temp_directory_path() / ("bridge-app-" + std::to_string(getpid()))) {
        fs::create_directories(m_root / "internals");
    }
    ~ScratchApplication() { fs::remove_all(m_root); }
    std::string Root() const { return m_root.string(); }
    void InstallExtensionLibrary() const {
        fs::copy_file(fs::path(NB_TEST_APP_DIR) / "internals" / "NbExternal.so",
                      m_root / "internals" / "NbExternal.so");
    }

   private:
    fs::path m_root;
};

TEST_F(BridgeTest, MissingLibraryIsReport1100UntilItCanBeLoaded) {
    const ScratchApplication application;
    ASSERT_TRUE(NbSetApplicationDirectory(application.Root().c_str()));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Outcome outcome = Execute(*m_bridge, Args().Str(u"GetTempDir"));
        EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(outcome.code, 1100);
        EXPECT_EQ(outcome.scode, -1100);
        EXPECT_EQ(outcome.source, u"Invoke");
        EXPECT_EQ(outcome.description, u"Catastrophic: Cannot load NbExternal.dll");
        EXPECT_FALSE(m_bridge->IsExtensionLoaded());
    }
    application.InstallExtensionLibrary();
    const Outcome outcome = Execute(*m_bridge, Args().Str(u"GetTempDir"));
    EXPECT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.type, VT_BSTR);
    EXPECT_TRUE(m_bridge->IsExtensionLoaded());
}

}  // namespace
}  // namespace nb::bridge::testing
