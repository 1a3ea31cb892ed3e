// The notification-area icon, its balloons and the shutdown block of the real
// NbBrowser under Xvfb, against a real XEMBED tray host (trayer), a real
// notification daemon (dunst, its traffic recorded by dbus-monitor) and
// python3-dbusmock's logind on a private system bus.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "shell/host/tests/shell_app.h"

namespace {

using namespace nb::shell::test;

// Sourced in the display session before the program starts; the runner ends
// these background jobs with the session.
constexpr char kTrayHost[] =
    "trayer --edge top --align right --widthtype request --height 32 --transparent false &\n"
    "for _ in $(seq 50); do xwininfo -name panel > /dev/null 2>&1 && break; sleep 0.1; done\n";

std::string NotificationDaemon(const fs::path& log) {
    return "printf '[global]\\norigin = top-center\\noffset = 0x60\\n' > dunstrc\n"
           "dbus-monitor --session \"interface='org.freedesktop.Notifications'\" > '" +
           log.string() +
           "' 2>&1 &\n"
           "dunst -config dunstrc > /dev/null 2>&1 &\n"
           "gdbus wait --session --timeout 10 org.freedesktop.Notifications\n";
}

// A private bus stands in for the system bus, with the logind template on it.
constexpr char kLogind[] =
    "dbus-daemon --config-file=/usr/share/dbus-1/session.conf --nofork --print-address=3 3> "
    "system-bus.txt &\n"
    "for _ in $(seq 50); do [ -s system-bus.txt ] && break; sleep 0.1; done\n"
    "export DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 system-bus.txt)\n"
    "/usr/bin/python3 -m dbusmock --system --template logind > /dev/null 2>&1 &\n"
    "gdbus wait --system --timeout 10 org.freedesktop.login1\n";

std::string Settings(const std::string& page, const std::string& extra = "") {
    return "[NimbraHAPF]\nwin_ApplicationName=Tray App\nwin_StartupURL=x-mrs://ui/" + page +
           "\nwin_Height=500\n" + extra;
}

// The Notify calls dbus-monitor saw, one "app|icon|title|text|timeout" each.
std::vector<std::string> NotifyCalls(const std::string& log) {
    std::vector<std::string> calls;
    std::istringstream lines(log);
    std::string line;
    std::string call;
    int strings = 0;
    bool in_call = false;
    while (std::getline(lines, line)) {
        if (line.rfind("method call", 0) == 0 || line.rfind("signal", 0) == 0 ||
            line.rfind("method return", 0) == 0 || line.rfind("error", 0) == 0) {
            in_call = line.find("member=Notify") != std::string::npos;
            call.clear();
            strings = 0;
            continue;
        }
        if (!in_call) continue;
        const std::size_t string_at = line.find("   string \"");
        if (string_at == 0 && strings < 4) {
            const std::size_t open = line.find('"');
            call += (strings ? "|" : "") + line.substr(open + 1, line.rfind('"') - open - 1);
            if (++strings == 1) call += "|";  // the replaces id is not kept
            continue;
        }
        if (strings == 4 && line.rfind("   int32 ", 0) == 0) {
            calls.push_back(call + "|" + line.substr(9));
            in_call = false;
        }
    }
    for (std::string& c : calls) {
        // "app||icon" from the skipped replaces id
        const std::size_t twice = c.find("||");
        if (twice != std::string::npos) c.erase(twice, 1);
    }
    return calls;
}

TEST(TrayProgram, IconBalloonsAndLeftClick) {
    ShellApp app("tray_icon");
    app.Settings(Settings("tray_icon.html"));
    const fs::path log = app.Dir() / "notifications.txt";
    const RunResult run = app.Run(60, std::string(kTrayHost) + NotificationDaemon(log));
    ExpectPagePassed(run);
    // GoToSystray twice: one icon, the window hidden; the click: no icon, the window back.
    EXPECT_NE(run.actions.find("IN-AREA 1 0\n"), std::string::npos) << run.actions;
    EXPECT_NE(run.actions.find("AFTER-CLICK 0 1\n"), std::string::npos) << run.actions;
    const std::string traffic = ReadFile(log);
    const std::vector<std::string> expected = {
        "Tray App|dialog-information||only a text|10000",
        "Tray App|dialog-warning|Warning title|a warning|4000",
        "Tray App|dialog-error|Error title|an error|5000",
        "Tray App||Plain|no icon|6000",
        "Tray App|dialog-information|Tray Title|Balloon from the notification area|20000",
    };
    EXPECT_EQ(NotifyCalls(traffic), expected) << traffic;
    // HideSystrayBalloon closed the balloon; out of the area none was shown.
    EXPECT_NE(traffic.find("member=CloseNotification"), std::string::npos) << traffic;
    EXPECT_EQ(traffic.find("not shown"), std::string::npos) << traffic;
}

TEST(TrayProgram, RightClickMenuExitEndsTheProgram) {
    ShellApp app("tray_menu");
    app.Settings(Settings("tray_menu.html"));
    const RunResult run = app.Run(30, kTrayHost);
    EXPECT_EQ(run.exit_code, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("MENU"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("FAIL "), std::string::npos) << run.output;
}

TEST(TrayProgram, MinimizeAndCloseGoToTheArea) {
    ShellApp app("tray_state");
    app.Settings(Settings("tray_state.html", "win_MinimizeToSystray=1\nwin_CloseToSystray=1\n"));
    const RunResult run = app.Run(60, kTrayHost);
    ExpectPagePassed(run);
    // Each line: icons in the tray host, visible windows of the page.
    for (const char* expected :
         {"MINIMIZED 1 0\n", "RESTORED 0 1\n", "CLOSED 1 0\n", "BACK 0 1\n", "CHILD 0 1\n"})
        EXPECT_NE(run.actions.find(expected), std::string::npos) << expected << run.actions;
}

std::string Section(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t start = text.find(from);
    if (start == std::string::npos) return {};
    const std::size_t end = text.find(to, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST(TrayProgram, ShutdownBlockThroughLogind) {
    ShellApp app("tray_shutdown");
    app.Settings(Settings("tray_shutdown.html"));
    const RunResult run = app.Run(60, kLogind);
    ExpectPagePassed(run);
    std::string reason;
    while (reason.size() < 300) reason += "0123456789abcdefghijklmnopqrstuvwxyz";
    const std::string first = Section(run.actions, "BLOCKED-LONG", "BLOCKED-SECOND");
    EXPECT_NE(first.find("[('shutdown', 'Tray App', '" + reason.substr(0, 256) + "', 'block',"),
              std::string::npos)
        << run.actions;
    // A second reason replaces the first block; EnableShutdown lifts it.
    const std::string second = Section(run.actions, "BLOCKED-SECOND", "ENABLED");
    EXPECT_NE(second.find("[('shutdown', 'Tray App', 'second reason', 'block',"), std::string::npos)
        << run.actions;
    EXPECT_EQ(second.find(reason.substr(0, 20)), std::string::npos) << run.actions;
    EXPECT_NE(run.actions.find("ENABLED\n(@a(ssssuu) [],)"), std::string::npos) << run.actions;
}

TEST(TrayProgram, ShutdownBlockWithoutLogindStillSucceeds) {
    ShellApp app("tray_shutdown_alone");
    app.Settings(Settings("tray_shutdown.html"));
    const RunResult run =
        app.Run(60, "export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/bus\n");
    ExpectPagePassed(run);
    EXPECT_NE(run.errors.find("no system bus for the shutdown block"), std::string::npos)
        << run.errors;
}

}  // namespace
