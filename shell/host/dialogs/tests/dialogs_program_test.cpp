// Modal and modeless dialogs of the real NbBrowser under Xvfb: the pages
// check window.external from both sides, and xdotool plays the person who
// answers the dialog and tries the windows behind it.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "shell/host/tests/shell_app.h"

namespace {

using namespace nb::shell::test;

// The pages close windows through this helper, as a person would.
const std::string kCloseHelper = std::string("export NB_CLOSE_WINDOW='") + NB_CLOSE_WINDOW + "'";

TEST(DialogsProgram, ModalAnsweredByAPersonThenPlainAndModeless) {
    ShellApp app("dialogs_modal");
    app.Settings(StartPage("x-mrs://ui/dialogs_opener.html"));
    const RunResult run = app.Run(90, kCloseHelper);
    // Among the checks: the disabled opener was neither typed into nor closed.
    ExpectPagePassed(run);
    EXPECT_NE(run.output.find("ANSWERED"), std::string::npos) << run.output;
    EXPECT_NE(run.actions.find("CLOSE-SENT"), std::string::npos) << run.actions;
    // dialogWidth:100px and dialogHeight:300px, measured on the real window.
    EXPECT_NE(run.actions.find("Geometry: 250x300"), std::string::npos) << run.actions;
    // "resizable: yes" (a space before the value) leaves the window fixed.
    std::smatch sizes;
    const std::regex hints("minimum size: (\\d+) by (\\d+)[\\s\\S]*maximum size: (\\d+) by (\\d+)");
    ASSERT_TRUE(std::regex_search(run.actions, sizes, hints)) << run.actions;
    EXPECT_EQ(sizes[1], sizes[3]) << run.actions;
    EXPECT_EQ(sizes[2], sizes[4]) << run.actions;
    EXPECT_TRUE(fs::exists(kScreenshots / "dialogs_modal.png"));
}

TEST(DialogsProgram, MainWindowEndingWhileADialogWaitsQuitsTheProgram) {
    ShellApp app("dialogs_quit");
    app.Settings(StartPage("x-mrs://ui/dialogs_quit_main.html"));
    const RunResult run = app.Run(40, kCloseHelper);
    EXPECT_NE(run.output.find("DIALOG-UP"), std::string::npos) << run.output << run.errors;
    EXPECT_NE(run.actions.find("CLOSE-SENT"), std::string::npos) << run.actions;
    // Not killed at the time limit (124): the nested loop ended and the program quit.
    EXPECT_EQ(run.exit_code, 0) << run.output << run.actions << run.errors;
}

}  // namespace
