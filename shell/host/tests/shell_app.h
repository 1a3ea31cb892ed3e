// Test harness of the shell program tests: runs the real NbBrowser under
// Xvfb in an application directory of its own, with the test pages copied to
// "!/ui", and collects what the pages printed on the console.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace nb::shell::test {

namespace fs = std::filesystem;

inline const fs::path kPages = fs::path(NB_TEST_SOURCE_DIR) / "shell/host/tests/pages";
inline const fs::path kRunner = fs::path(NB_TEST_SOURCE_DIR) / "shell/host/tests/run_in_display.sh";
inline const fs::path kScreenshots = fs::path(NB_TEST_BINARY_DIR) / "shell-screenshots";

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct RunResult {
    int exit_code = -1;
    std::string output;   // the page's console
    std::string titles;   // CHECKTITLE and ANSWERDIALOG answers
    std::string actions;  // what ACTION commands printed
    std::string errors;
};

// An application directory of its own: a copy of the program (it finds its
// settings file and pages beside itself) and the built internals.
class ShellApp {
   public:
    // The directory carries the process id, so two builds' tests can run at once.
    explicit ShellApp(const std::string& name)
        : m_dir(fs::temp_directory_path() / ("nb_shell_" + name + "_" + std::to_string(getpid()))) {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "!" / "ui");
        fs::copy_file(fs::path(NB_TEST_APP_DIR) / "NbBrowser", m_dir / "NbBrowser");
        fs::create_directory_symlink(fs::path(NB_TEST_APP_DIR) / "internals", m_dir / "internals");
        for (const auto& entry : fs::directory_iterator(kPages))
            fs::copy_file(entry.path(), m_dir / "!" / "ui" / entry.path().filename());
        m_name = name;
    }
    ~ShellApp() { fs::remove_all(m_dir); }

    const fs::path& Dir() const { return m_dir; }
    void Settings(const std::string& ini) { std::ofstream(m_dir / "NbBrowser.ini") << ini; }

    // setup: bash commands run inside the display session before the program
    // starts (daemons such as a tray host are started there in the background).
    RunResult Run(int limit_s = 60, const std::string& setup = "") const {
        fs::create_directories(kScreenshots);
        const fs::path output = m_dir / "console.txt";
        const fs::path screenshot = kScreenshots / (m_name + ".png");
        std::ofstream(m_dir / "setup.sh") << setup << "\n";
        RunResult result;
        result.exit_code =
            Shell("cd '" + m_dir.string() +
                  "' && xvfb-run -a -s '-screen 0 1280x1024x24' dbus-run-session -- bash '" +
                  kRunner.string() + "' '" + (m_dir / "NbBrowser").string() + "' '" +
                  output.string() + "' '" + screenshot.string() + "' " + std::to_string(limit_s) +
                  " '" + (m_dir / "setup.sh").string() + "' 2>/dev/null");
        result.output = ReadFile(output);
        result.titles = ReadFile(output.string() + ".titles");
        result.actions = ReadFile(output.string() + ".actions");
        result.errors = ReadFile(output.string() + ".stderr");
        if (fs::exists(screenshot)) std::printf("screenshot: %s\n", screenshot.c_str());
        return result;
    }

   private:
    fs::path m_dir;
    std::string m_name;
};

inline std::string StartPage(const std::string& url) {
    return "[NimbraHAPF]\nwin_ApplicationName=Props App\nwin_StartupURL=" + url +
           "\nwin_Height=500\n";
}

// Every check a page made passed, and it got to its end.
inline void ExpectPagePassed(const RunResult& run) {
    EXPECT_EQ(run.exit_code, 0) << run.output << run.errors;
    EXPECT_EQ(run.output.find("FAIL "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("DONE failures=0"), std::string::npos) << run.output << run.errors;
    EXPECT_NE(run.output.find("PASS "), std::string::npos) << run.output;
}

}  // namespace nb::shell::test
