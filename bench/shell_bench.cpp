// The shell: time from program start to the first page's load event and the
// resident memory of all its processes then, against the smallest WebKitGTK
// program loading the same page from a file; and synchronous window.external
// calls per second from a page, against a plain script property read; and a
// modal dialog's round trip against the same program's page load; and how long
// a worker start holds the page, against the 100 ms pause it is meant to take.
// Runs itself under Xvfb when there is no display.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;

constexpr char kLoadPage[] =
    "<!DOCTYPE html><html><head><title>bench</title><style>body{font:14px "
    "sans-serif}</style></head>"
    "<body onload=\"document.title='loaded';if(window.external&&window.external.win_Width)"
    "console.log('loaded')\"><h1>Benchmark page</h1><p>Some text to lay out.</p></body></html>";

constexpr char kCallPage[] =
    "<!DOCTYPE html><html><body><script>\n"
    "var x = window.external, n = 20000, t, i, s = 0, plain = {win_Width: 800};\n"
    "function onWorker() {}\n"
    "t = performance.now(); for (i = 0; i < n; i++) s += x.win_Width;\n"
    "console.log('get ' + (n / ((performance.now() - t) / 1000)).toFixed(0));\n"
    "t = performance.now(); for (i = 0; i < n; i++) x.Execute('GetTempDir');\n"
    "console.log('execute ' + (n / ((performance.now() - t) / 1000)).toFixed(0));\n"
    "var m = 5000000; t = performance.now(); for (i = 0; i < m; i++) s += plain.win_Width;\n"
    "console.log('plain ' + (m / ((performance.now() - t) / 1000)).toFixed(0) + ' ' + (s > 0));\n"
    "var starts = [];\n"
    "for (i = 0; i < 21; i++) {\n"
    "  t = performance.now(); x.Execute('RunExecutable', ['true'], 'onWorker');\n"
    "  starts.push(performance.now() - t);\n"
    "}\n"
    "starts.sort(function (a, b) { return a - b; });\n"
    "console.log('start ' + starts[10].toFixed(1) + ' ' + starts[20].toFixed(1));\n"
    "x.Exit();\n"
    "</script></body></html>";

// Ten modal dialogs opened one after the other; each dialog page hands its
// argument back and closes itself from its load event.
constexpr char kDialogOpenerPage[] =
    "<!DOCTYPE html><html><body><script>\n"
    "var x = window.external, times = [], ok = true;\n"
    "setTimeout(function () {\n"
    "  for (var i = 0; i < 11; i++) {\n"
    "    var t = performance.now();\n"
    "    ok = ok && x.ShowModalDialog('x-mrs://ui/dialog.html', i) === i;\n"
    "    if (i > 0) times.push(performance.now() - t);\n"
    "  }\n"
    "  times.sort(function (a, b) { return a - b; });\n"
    "  console.log('dialog ' + times[5].toFixed(1) + ' ' + ok);\n"
    "  x.Exit();\n"
    "}, 200);\n"
    "</script></body></html>";

constexpr char kDialogPage[] =
    "<!DOCTYPE html><html><body onload=\"var x = window.external;"
    "x.returnValue = x.dialogArguments; x.Exit()\"><p>Dialog</p></body></html>";

struct Started {
    double load_ms = 0;
    double rss_mb = 0;
    std::vector<std::string> lines;
};

// Resident memory of the process and every descendant (WebKit's web and
// network processes), in MiB.
double TreeRssMb(pid_t root) {
    std::map<pid_t, pid_t> parents;
    std::map<pid_t, long> rss_pages;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(text.substr(close + 2));
        std::string state;
        long ppid = 0;
        fields >> state >> ppid;
        std::ifstream statm(entry.path() / "statm");
        long size = 0, resident = 0;
        statm >> size >> resident;
        const pid_t pid = std::stoi(name);
        parents[pid] = static_cast<pid_t>(ppid);
        rss_pages[pid] = resident;
    }
    long total = 0;
    for (const auto& [pid, resident] : rss_pages) {
        for (pid_t p = pid; p > 1; p = parents.count(p) ? parents[p] : 0)
            if (p == root) {
                total += resident;
                break;
            }
    }
    return static_cast<double>(total) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

// Starts the program, reads its output until a line holds until_text, then
// measures and stops it (or waits for its end when stop is false).
Started Run(const std::vector<std::string>& argv, const std::string& until_text, bool stop) {
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    Started result;
    std::string buffer;
    char chunk[4096];
    bool found = false;
    while (!found) {
        const ssize_t n = read(out[0], chunk, sizeof chunk);
        if (n <= 0) break;
        buffer.append(chunk, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = buffer.find('\n')) != std::string::npos) {
            result.lines.push_back(buffer.substr(0, end));
            buffer.erase(0, end + 1);
            if (result.lines.back().find(until_text) != std::string::npos) found = true;
        }
    }
    result.load_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (found && stop) {
        result.rss_mb = TreeRssMb(pid);
        kill(-pid, SIGTERM);
    }
    while (read(out[0], chunk, sizeof chunk) > 0) {
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!found) {
        std::fprintf(stderr, "shell_bench: %s never printed \"%s\"\n", argv[0].c_str(),
                     until_text.c_str());
        std::exit(1);
    }
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Figure(const std::vector<std::string>& lines, const std::string& key) {
    for (const std::string& line : lines) {
        const std::size_t at = line.find("log: " + key + " ");
        if (at != std::string::npos) return std::atof(line.c_str() + at + key.size() + 6);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        // Again under a virtual display and a session bus of its own.
        std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                   const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::perror("shell_bench: xvfb-run");
        return 1;
    }
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 1);  // Xvfb has no GPU

    const fs::path dir = fs::temp_directory_path() / "nb_shell_bench";
    fs::remove_all(dir);
    fs::create_directories(dir / "!" / "ui");
    fs::copy_file(fs::path(NB_BENCH_APP_DIR) / "NbBrowser", dir / "NbBrowser");
    fs::create_directory_symlink(fs::path(NB_BENCH_APP_DIR) / "internals", dir / "internals");
    std::ofstream(dir / "!" / "ui" / "load.html") << kLoadPage;
    std::ofstream(dir / "load.html") << kLoadPage;
    std::ofstream(dir / "!" / "ui" / "calls.html") << kCallPage;
    std::ofstream(dir / "!" / "ui" / "dialogs.html") << kDialogOpenerPage;
    std::ofstream(dir / "!" / "ui" / "dialog.html") << kDialogPage;
    const std::string shell = (dir / "NbBrowser").string();
    const std::string reference =
        (fs::path(argv[0]).parent_path() / "shell_reference_view").string();

    std::vector<double> shell_ms, shell_mb, reference_ms, reference_mb;
    std::ofstream(dir / "NbBrowser.ini") << "[NimbraHAPF]\nwin_StartupURL=x-mrs://ui/load.html\n";
    for (int run = 0; run < kRuns; ++run) {
        const Started r =
            Run({reference, "file://" + (dir / "load.html").string()}, "loaded", true);
        reference_ms.push_back(r.load_ms);
        reference_mb.push_back(r.rss_mb);
        const Started s = Run({shell, "--console"}, "log: loaded", true);
        shell_ms.push_back(s.load_ms);
        shell_mb.push_back(s.rss_mb);
    }
    std::ofstream(dir / "NbBrowser.ini") << "[NimbraHAPF]\nwin_StartupURL=x-mrs://ui/calls.html\n";
    std::vector<double> gets, executes, plains, starts;
    for (int run = 0; run < 3; ++run) {
        const Started c = Run({shell, "--console"}, "log: start", false);
        gets.push_back(Figure(c.lines, "get"));
        executes.push_back(Figure(c.lines, "execute"));
        plains.push_back(Figure(c.lines, "plain"));
        starts.push_back(Figure(c.lines, "start"));
    }
    std::ofstream(dir / "NbBrowser.ini")
        << "[NimbraHAPF]\nwin_StartupURL=x-mrs://ui/dialogs.html\n";
    std::vector<double> dialogs;
    for (int run = 0; run < 3; ++run) {
        const Started d = Run({shell, "--console"}, "log: dialog", false);
        const auto answered = [](const std::string& line) {
            return line.find("log: dialog ") != std::string::npos && line.ends_with(" true");
        };
        if (std::none_of(d.lines.begin(), d.lines.end(), answered)) {
            std::fprintf(stderr, "shell_bench: a dialog did not hand its argument back\n");
            return 1;
        }
        dialogs.push_back(Figure(d.lines, "dialog"));
    }
    fs::remove_all(dir);

    const double ms = Median(shell_ms), ref_ms = Median(reference_ms);
    const double mb = Median(shell_mb), ref_mb = Median(reference_mb);
    std::printf("%-44s %14s %14s %8s\n", "measure (median)", "shell", "reference", "ratio");
    std::printf("%-44s %14.1f %14.1f %8.2f\n", "start to load event, ms (5 runs)", ms, ref_ms,
                ms / ref_ms);
    std::printf("%-44s %14.1f %14.1f %8.2f\n", "resident memory after load, MiB (all procs)", mb,
                ref_mb, mb / ref_mb);
    const double get = Median(gets), execute = Median(executes), plain = Median(plains);
    std::printf("%-44s %14.0f %14.0f %8.4f\n", "window.external.win_Width gets/s (3 runs)", get,
                plain, get / plain);
    std::printf("%-44s %14.0f %14.0f %8.4f\n", "Execute(\"GetTempDir\") calls/s", execute, plain,
                execute / plain);
    const double dialog = Median(dialogs);
    std::printf("%-44s %14.1f %14.1f %8.2f\n", "ShowModalDialog round trip, ms (3 x 10)", dialog,
                ref_ms, dialog / ref_ms);
    // A worker start pauses 100 ms by design, to let the worker settle.
    constexpr double kSettlePauseMs = 100;
    const double start = Median(starts);
    std::printf("%-44s %14.1f %14.1f %8.2f\n", "worker start, Execute returns after, ms", start,
                kSettlePauseMs, start / kSettlePauseMs);
    std::printf("%-44s %14.1f %14s\n", "  per get, microseconds", 1e6 / get, "");
    std::printf("%-44s %14.1f %14s\n", "  per Execute, microseconds", 1e6 / execute, "");
    std::printf(
        "reference: the minimal WebKitGTK program for start and memory (and for a dialog,\n"
        "which opens a new web view: its page load to Exit); a plain script object's\n"
        "property read in the same page for the call rates\n");
    return 0;
}
