// The real NbBrowser under Xvfb against small applications whose pages check
// window.external from script and report through the console.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/registry/registry.h"
#include "shell/host/tests/shell_app.h"

namespace {

using namespace nb::shell::test;

// A text value of HKEY_CLASSES_ROOT, or nothing when the key or value is missing.
std::optional<std::u16string> ClassesText(const char16_t* path, const char16_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    char16_t text[1024] = {};
    DWORD size = sizeof text;
    const LSTATUS status =
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return std::u16string(text);
}

TEST(ShellProgram, PropertiesFromScript) {
    ShellApp app("properties");
    app.Settings(StartPage("x-mrs://ui/properties.html"));
    const RunResult run = app.Run();
    ExpectPagePassed(run);
    // The page title becomes the window title; a URL-like one does not.
    EXPECT_EQ(run.titles, "TITLE-FOUND Props Title\nTITLE-FOUND Props Title\n") << run.output;
}

TEST(ShellProgram, KeysWindowRequestsAndNewWindows) {
    ShellApp app("window");
    app.Settings(StartPage("x-mrs://ui/window.html"));
    const RunResult run = app.Run();
    ExpectPagePassed(run);
    EXPECT_NE(run.output.find("PASS new window reported"), std::string::npos) << run.output;
}

TEST(ShellProgram, PageMessageBoxTitledWithApplicationName) {
    ShellApp app("dialog");
    app.Settings(StartPage("x-mrs://ui/dialog.html"));
    const RunResult run = app.Run();
    ExpectPagePassed(run);
    EXPECT_EQ(run.titles, "DIALOG-FOUND Props App\n") << run.output;
}

TEST(ShellProgram, SettingsSavedAndLoaded) {
    ShellApp app("settings");
    app.Settings(StartPage("x-mrs://ui/settings.html"));
    ExpectPagePassed(app.Run());
    const std::string saved = ReadFile(app.Dir() / "NbBrowser.ini");
    EXPECT_NE(saved.find("win_ApplicationName=Saved App"), std::string::npos) << saved;
    EXPECT_NE(saved.find("win_Width=640"), std::string::npos) << saved;
    EXPECT_NE(saved.find("win_State=normal"), std::string::npos) << saved;
    EXPECT_NE(saved.find("win_Language=de-de"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("web_UserAgent"), std::string::npos) << saved;
    EXPECT_NE(ReadFile(app.Dir() / "other.ini").find("win_Width=700"), std::string::npos);
    // The second start reads what the first saved.
    const RunResult again = app.Run();
    ExpectPagePassed(again);
    EXPECT_NE(again.output.find("PASS loaded number"), std::string::npos) << again.output;
}

TEST(ShellProgram, ExecuteWithWorkerCallbacks) {
    ShellApp app("execute");
    ASSERT_EQ(Shell("sox -n -r 22050 -c 1 '" + (app.Dir() / "in.wav").string() +
                    "' synth 3 sine 440 2>/dev/null"),
              0);
    app.Settings(StartPage("x-mrs://ui/execute.html"));
    ExpectPagePassed(app.Run());
    EXPECT_GT(fs::file_size(app.Dir() / "out.wav"), 44u * 1000);
}

TEST(ShellProgram, CloseHandling) {
    const struct {
        const char* page;
        const char* expected;  // a line the run must print
    } cases[] = {
        {"close_handler.html", "PASS onclose ran once"},
        {"close_disabled.html", "PASS close ignored"},
    };
    for (const auto& c : cases) {
        ShellApp app(std::string("close_") + c.page);
        app.Settings(StartPage(std::string("x-mrs://ui/") + c.page));
        const RunResult run = app.Run();
        ExpectPagePassed(run);
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.page << run.output;
    }
    // Without onclose, Close and window.close() end the program.
    for (const char* page : {"close_plain.html", "window_close.html"}) {
        ShellApp app(std::string("close_") + page);
        app.Settings(StartPage(std::string("x-mrs://ui/") + page));
        const RunResult run = app.Run(20);
        EXPECT_EQ(run.exit_code, 0) << page << run.output;
        EXPECT_NE(run.output.find("CLOSING"), std::string::npos) << page << run.output;
        EXPECT_EQ(run.output.find("FAIL "), std::string::npos) << page << run.output;
    }
}

TEST(ShellProgram, CgiAndResourcePagesServed) {
    ShellApp app("served");
    // A resource library "res.dll" beside the program holding page.html.
    const fs::path work = app.Dir() / "resbuild";
    fs::create_directories(work);
    fs::copy_file(kPages / "resource_page.html", work / "page.html");
    std::ofstream(work / "r.rc") << "\"page.html\" 23 page.html\n";
    ASSERT_EQ(Shell("cd '" + work.string() +
                    "' && x86_64-w64-mingw32-windres --preprocessor=cpp --preprocessor-arg=-xc "
                    "r.rc -O coff -o r.o"
                    " && x86_64-w64-mingw32-ld -shared --entry=0 -o '" +
                    (app.Dir() / "res.dll").string() + "' r.o"),
              0);
    app.Settings(StartPage("x-mrs://ui/served.php?a=1"));
    const RunResult run = app.Run();
    ExpectPagePassed(run);
    EXPECT_NE(run.output.find("PASS cgi page ran"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("PASS resource page served x-mrs://"), std::string::npos)
        << run.output;
}

TEST(ShellProgram, StartUpSwitchesAndExitCodes) {
    ShellApp app("switches");
    const fs::path data = app.Dir() / "data";
    const std::string env = "env XDG_DATA_HOME='" + data.string() + "' ";
    const fs::path entry = data / "applications" / "nimbra-nbbrowser.desktop";
    const std::string program = "'" + (app.Dir() / "NbBrowser").string() + "'";
    // The registry store of this process follows the same data directory.
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    constexpr char16_t kClass[] = u"CLSID\\{AC0ECD03-E268-46B1-AF97-12272E1F9943}";
    EXPECT_EQ(Shell(env + program + " /regserverXYZ"), 0);
    ASSERT_TRUE(fs::exists(entry));
    const std::u16string server = (app.Dir() / "NbBrowser").u16string();
    EXPECT_EQ(ClassesText((std::u16string(kClass) + u"\\LocalServer32").c_str(), nullptr), server);
    EXPECT_EQ(ClassesText(kClass, u"AppID"), u"{AC0ECDFF-E268-46B1-AF97-12272E1F9943}");
    EXPECT_EQ(ClassesText(u"BrowserCustomizer.BrowserCustomizer\\CurVer", nullptr),
              u"BrowserCustomizer.BrowserCustomizer.1");
    EXPECT_EQ(ClassesText(u"AppID\\NbBrowser.EXE", u"AppID"),
              u"{AC0ECDFF-E268-46B1-AF97-12272E1F9943}");
    EXPECT_NE(ReadFile(entry).find("Exec=\"" + (app.Dir() / "NbBrowser").string() + "\""),
              std::string::npos);
    EXPECT_EQ(Shell(env + program + " -UNREGSERVER"), 0);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(ClassesText(kClass, u"AppID"), std::nullopt);
    EXPECT_EQ(ClassesText(u"AppID\\NbBrowser.EXE", u"AppID"), std::nullopt);
    unsetenv("XDG_DATA_HOME");
    // Without a display the window cannot be made: exit 100 with the message.
    const fs::path errors = app.Dir() / "errors.txt";
    EXPECT_EQ(Shell("env -u DISPLAY -u WAYLAND_DISPLAY " + program + " -unknown 2>'" +
                    errors.string() + "'"),
              100);
    EXPECT_NE(ReadFile(errors).find("NbBrowser: OleInitialize() failed."), std::string::npos)
        << ReadFile(errors);
}

}  // namespace
