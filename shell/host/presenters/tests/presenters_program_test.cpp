// The presenters of the real NbBrowser under Xvfb: a page asks for the key
// state, a tooltip, a message box and the file dialogs, and xdotool plays
// the person who answers them.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "shell/host/tests/shell_app.h"

namespace {

using namespace nb::shell::test;

TEST(PresentersProgram, PageUsesTheDesktopServicesAsAPersonAnswersThem) {
    ShellApp app("desktop_services");
    app.Settings(StartPage("x-mrs://ui/desktop_services.html") + "win_Width=640\n");
    fs::create_directories(app.Dir() / "songs");
    for (const char* name : {"a.wav", "b.wav", "c.mp3", "notes.txt"})
        std::ofstream(app.Dir() / "songs" / name) << name;
    const RunResult run = app.Run(90);
    ExpectPagePassed(run);
    // Declining the replacement left the file as it was.
    EXPECT_EQ(ReadFile(app.Dir() / "songs" / "a.wav"), "a.wav");
    for (const char* shot : {"balloon-tooltip", "tooltip-followed-window", "message-box",
                             "open-dialog", "save-dialog", "save-confirmation"})
        EXPECT_TRUE(fs::exists(kScreenshots / (std::string("desktop_services-") + shot + ".png")))
            << shot << "\n"
            << run.errors;
}

}  // namespace
