// File drops from a real drag source (a GTK program dragged with xdotool)
// and LaunchBrowser with a fake browser, against the real NbBrowser under
// Xvfb.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry.h"
#include "shell/host/tests/shell_app.h"

namespace {

using namespace nb::shell::test;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(DropProgram, RealDragOfFiles) {
    ShellApp app("drop");
    app.Settings(
        "[NimbraHAPF]\nwin_ApplicationName=Drop App\nwin_StartupURL=x-mrs://ui/drop_files.html\n"
        "win_Top=100\nwin_Left=100\nwin_Width=600\nwin_Height=500\n");
    const std::string dir = (app.Dir() / "files").string();
    // Dropped first to last; the web address is no file and is left out, the
    // long name is cut to 260 UTF-16 units.
    const std::string long_name = std::string(300, 'L');
    const std::vector<std::string> offered = {dir + "/first.txt", "http://example.com/page",
                                              dir + "/second file.txt", dir + "/third \xc3\xbc.txt",
                                              dir + "/" + long_name};
    std::string arguments;
    for (const std::string& item : offered) arguments += " '" + item + "'";
    const std::string source_log = (app.Dir() / "source.txt").string();
    const RunResult run =
        app.Run(90, "'" NB_DRAG_SOURCE "' 900 100" + arguments + " > '" + source_log +
                        "' 2>&1 &\nxdotool search --sync --name '^DragSource$' > /dev/null\n");
    ExpectPagePassed(run);
    // Paths as the page got them, the last dropped file first.
    const std::string cut = (dir + "/" + long_name).substr(0, 260);
    const std::string paths = "[\"" + cut + "\",\"" + dir + "/third \xc3\xbc.txt\",\"" + dir +
                              "/second file.txt\",\"" + dir + "/first.txt\"]";
    const std::vector<std::string> lines = Lines(run.output);
    const auto count = [&](const std::string& text) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    };
    // Enter of the dropped, the refused and the left-again drag; one drop.
    EXPECT_EQ(count("ENTER " + paths), 3) << run.output;
    EXPECT_EQ(count("DROP " + paths), 1) << run.output;
    EXPECT_EQ(count("LEAVE 0"), 1) << run.output;
    // The source learnt the page's effect (over and drop answered 3: move)
    // and was never asked to delete what it offered.
    const std::string source = ReadFile(source_log);
    EXPECT_NE(source.find("DRAG-END action=4"), std::string::npos) << source;
    EXPECT_EQ(source.find("DELETE-REQUESTED"), std::string::npos) << source;
}

// Each call of the fake browser, one line: "gio" when it came through the
// desktop's own launcher (the "open" verb), then its arguments in brackets.
constexpr char kFakeBrowser[] =
    "#!/bin/sh\nprintf '%s|%s\\n' \"${GIO_LAUNCHED_DESKTOP_FILE:+gio}\" \"$(printf '[%s]' "
    "\"$@\")\" >> \"$0.calls\"\n";

void SetDefaultValue(HKEY root, const char16_t* path, const std::string& command) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string text(command.begin(), command.end());
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(DropProgram, LaunchBrowserCommands) {
    ShellApp app("launch");
    const fs::path data = app.Dir() / "data";
    const fs::path config = app.Dir() / "config";
    const std::string fake = (app.Dir() / "browser").string();
    fs::create_directories(data / "applications");
    fs::create_directories(config);
    std::ofstream(fake) << kFakeBrowser;
    fs::permissions(fake, fs::perms::owner_all);
    // The desktop's default http handler is the fake browser too.
    std::ofstream(data / "applications" / "nbfake.desktop")
        << "[Desktop Entry]\nType=Application\nName=Fake Browser\nExec=" << fake
        << " --desktop %u\nMimeType=x-scheme-handler/http;\n";
    std::ofstream(config / "mimeapps.list")
        << "[Default Applications]\nx-scheme-handler/http=nbfake.desktop\n";
    const std::string setup =
        "export XDG_DATA_HOME='" + data.string() + "' XDG_CONFIG_HOME='" + config.string() + "'\n";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    constexpr char16_t kDefault[] = u"http\\shell\\open\\command";
    constexpr char16_t kExplorer[] =
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";
    const std::string one = "http://one.example/a?b=1&c=2";
    const std::string two = "http://two.example/";
    const std::string three = "http://three.example/x y\"z";
    const struct {
        std::string name;
        std::string browser;   // HKCR's command; empty: none
        std::string explorer;  // HKLM's IEXPLORE.EXE path; empty: none
        std::vector<std::string> calls;
    } cases[] = {
        // "%1" takes the url; IEXPLORE.EXE's command, without "%1", is quoted
        // whole, starts nothing and falls back to the "open" verb.
        {"placeholder",
         "\"" + fake + "\" --reg \"%1\"",
         fake + " --ie",
         {"|[--reg][" + one + "]", "gio|[--desktop][" + two + "]", "|[--reg][" + three + "]"}},
        // Without "%1" the url is appended as one quoted argument.
        {"appended",
         fake,
         "\"" + fake + "\" --ie %1",
         {"|[" + one + "]", "|[--ie][" + two + "]", "|[" + three + "]"}},
        // Nothing registered: the desktop's http handler's command line, and
        // for useMSIE the "open" verb.
        {"desktop",
         "",
         "",
         {"|[--desktop][" + one + "]", "gio|[--desktop][" + two + "]",
          "|[--desktop][" + three + "]"}},
    };
    for (const auto& c : cases) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, u"http");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE");
        if (!c.browser.empty()) SetDefaultValue(HKEY_CLASSES_ROOT, kDefault, c.browser);
        if (!c.explorer.empty()) SetDefaultValue(HKEY_LOCAL_MACHINE, kExplorer, c.explorer);
        fs::remove(fake + ".calls");
        app.Settings(StartPage("x-mrs://ui/launch.html"));
        ExpectPagePassed(app.Run(60, setup));
        // The browsers run on their own; give them a moment.
        std::vector<std::string> calls;
        for (int i = 0; i < 100 && calls.size() < c.calls.size(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            calls = Lines(ReadFile(fake + ".calls"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        calls = Lines(ReadFile(fake + ".calls"));
        std::vector<std::string> expected = c.calls;
        std::sort(calls.begin(), calls.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(calls, expected) << c.name;
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, u"http");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE");
    unsetenv("XDG_DATA_HOME");
}

}  // namespace
