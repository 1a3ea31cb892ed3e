// The built nbrun program, run as a person or a script would run it, against
// the real extension library of the application directory.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct ProgramRun {
    int exit_code = -1;
    std::vector<json> lines;  // standard output, one JSON value a line
    std::string errors;       // standard error
};

// Arguments are single-quoted for the shell; none of them holds a quote.
ProgramRun RunNbrun(const std::vector<std::string>& arguments) {
    const fs::path errors = fs::temp_directory_path() / ("nbrun-err-" + std::to_string(getpid()));
    std::string command = NB_NBRUN_PROGRAM;
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " 2>" + errors.string();
    ProgramRun run;
    FILE* out = popen(command.c_str(), "r");
    if (!out) return run;
    char buffer[4096];
    std::string text;
    while (std::fgets(buffer, sizeof buffer, out)) text += buffer;
    const int status = pclose(out);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        run.lines.push_back(json::parse(line, nullptr, false));
    std::ifstream error_file(errors);
    run.errors.assign(std::istreambuf_iterator<char>(error_file), {});
    fs::remove(errors);
    return run;
}

TEST(NbrunProgram, PrintsTheResultOfASynchronousCall) {
    const fs::path file = fs::temp_directory_path() / ("nbrun-size-" + std::to_string(getpid()));
    std::ofstream(file) << std::string(321, 'x');
    const ProgramRun run = RunNbrun({"FileSize", json::array({file.string()}).dump()});
    fs::remove(file);
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(run.lines, std::vector<json>{json::parse(R"({"result": 321})")});
}

TEST(NbrunProgram, PrintsAnErrorReportAndFails) {
    const ProgramRun run = RunNbrun({"FileSize", R"(["/nonexistent/nbrun"])"});
    EXPECT_EQ(run.exit_code, 1);
    const json expected = json::parse(
        R"({"error": {"code": 2105, "source": "External::FileSize",
                      "description": "Catastrophic: File not found"}})");
    EXPECT_EQ(run.lines, std::vector<json>{expected});
}

TEST(NbrunProgram, PrintsEveryCallbackOfAWorkerUntilItEnds) {
    const ProgramRun run = RunNbrun({"RunExecutable", R"(["echo hi", true])"});
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_TRUE(run.lines[0]["result"].is_number_integer()) << run.lines[0];
    EXPECT_EQ(run.lines[1], json::parse(R"([3303, 0, "hi\n"])"));

    const ProgramRun silent = RunNbrun({"RunExecutable", R"(["echo hi", true])", "--no-callback"});
    EXPECT_EQ(silent.exit_code, 0) << silent.errors;
    EXPECT_EQ(silent.lines.size(), 1u);
}

TEST(NbrunProgram, LoadsTheLibraryOfTheApplicationDirectoryItIsGiven) {
    const fs::path empty = fs::temp_directory_path() / ("nbrun-app-" + std::to_string(getpid()));
    fs::create_directories(empty / "internals");
    const ProgramRun run = RunNbrun({"GetTempDir", "--app-dir", empty.string()});
    fs::remove_all(empty);
    EXPECT_EQ(run.exit_code, 1);
    const json expected = json::parse(
        R"({"error": {"code": 1100, "source": "Invoke",
                      "description": "Catastrophic: Cannot load NbExternal.dll"}})");
    EXPECT_EQ(run.lines, std::vector<json>{expected});
}

// Without a window nothing is shown and nothing waits for a person: dialogs
// answer as if cancelled, a message box as if its first button were pressed.
TEST(NbrunProgram, DesktopServicesAnswerAtOnceWithoutAWindow) {
    struct Case {
        const char* name;
        const char* args;
        const char* result;
    };
    for (const Case& c : {Case{"MsgBox", R"(["Go on?", "Question", 4])", "6"},
                          Case{"OpenFileName", R"(["Open", [["All", "*"]], true])", "[]"},
                          Case{"SaveFileName", R"(["Save", [], "tone.wav"])", R"("")"},
                          Case{"GetKeyStatus", "[4160]", "false"}}) {
        const ProgramRun run = RunNbrun({c.name, c.args});
        EXPECT_EQ(run.exit_code, 0) << c.name << run.errors;
        const std::vector<json> expected{json{{"result", json::parse(c.result)}}};
        EXPECT_EQ(run.lines, expected) << c.name;
    }
}

TEST(NbrunProgram, BadCommandLinesGetTheUsageAndExitCode2) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{},
                                                      {"FileSize", "[1,"},
                                                      {"FileSize", R"({"a": 1})"},
                                                      {"FileSize", "--bogus"}}) {
        const ProgramRun run = RunNbrun(arguments);
        EXPECT_EQ(run.exit_code, 2) << arguments.size();
        EXPECT_NE(run.errors.find("usage: nbrun"), std::string::npos);
        EXPECT_TRUE(run.lines.empty());
    }
}

}  // namespace
