// Script menus and shortcuts of the real NbBrowser under Xvfb: pages build
// menus, xdotool opens them and chooses from them as a person would, and the
// pages check which callbacks ran with which numbers.
#include <gtest/gtest.h>

#include <string>

#include "shell/host/tests/shell_app.h"

namespace {

using namespace nb::shell::test;

std::string PlacedPage(const std::string& page) {
    return "[NimbraHAPF]\nwin_ApplicationName=Menus App\nwin_StartupURL=x-mrs://ui/" + page +
           "\nwin_Left=100\nwin_Top=100\nwin_Width=600\nwin_Height=500\n";
}

TEST(MenusProgram, ContextMenuAndShortcuts) {
    ShellApp app("menus_context");
    app.Settings(PlacedPage("menus_context.html"));
    const RunResult run = app.Run(90);
    ExpectPagePassed(run);
    // The callback got plain numbers.
    EXPECT_NE(run.output.find("CONTEXT 2 number"), std::string::npos) << run.output;
}

TEST(MenusProgram, CustomMenuSubmenusIconsAndModify) {
    ShellApp app("menus_custom");
    const fs::path icons = app.Dir() / "!" / "ui" / "icons";
    fs::create_directories(icons);
    // 16x16 icons: two opaque squares and a disc on a transparent ground.
    ASSERT_EQ(Shell("convert -size 16x16 xc:red PNG32:'" + (icons / "red.png").string() + "'"), 0);
    ASSERT_EQ(
        Shell("convert -size 16x16 xc:'#20a020' PNG32:'" + (icons / "green.png").string() + "'"),
        0);
    ASSERT_EQ(Shell("convert -size 16x16 xc:none -fill blue -draw 'circle 8,8 8,2' PNG32:'" +
                    (icons / "blue.png").string() + "'"),
              0);
    app.Settings(PlacedPage("menus_custom.html"));
    const RunResult run = app.Run(90);
    ExpectPagePassed(run);
    EXPECT_TRUE(fs::exists(kScreenshots / "menus_custom.png"));
}

}  // namespace
