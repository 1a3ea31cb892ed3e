#include "external/system/child_process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string_view>
#include <thread>
#include <utility>

extern char** environ;

namespace nb::external {
namespace {

// Searched when PATH is not set, as the C library does.
constexpr std::string_view kDefaultSearchPath = "/bin:/usr/bin";
// How long a program may take to end after SIGTERM before it is killed.
constexpr auto kTerminateGrace = std::chrono::milliseconds(500);
constexpr auto kExitPoll = std::chrono::milliseconds(10);

// What a child that could not run the program writes into the status pipe.
struct ChildFailure {
    StartFailure failure;
    int error;
};

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

std::optional<Pipe> MakePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    return Pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The file exec runs for name: name itself when it holds a "/", else the
// first executable file of that name in the PATH folders (an empty entry is
// the current folder).
std::optional<std::string> FindProgram(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) return name;
    const char* variable = std::getenv("PATH");
    std::string_view folders = variable ? std::string_view(variable) : kDefaultSearchPath;
    for (;;) {
        const std::size_t end = folders.find(':');
        const std::string_view folder = folders.substr(0, end);
        const std::string candidate = (folder.empty() ? "." : std::string(folder)) + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
        if (end == std::string_view::npos) return std::nullopt;
        folders.remove_prefix(end + 1);
    }
}

int ExitCodeOf(int status) {
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

// Collects a child that has ended or is about to; retries after signals.
void Collect(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Everything the child needs, prepared before fork: between fork and exec
// only async-signal-safe calls are made.
struct ChildPlan {
    const char* program;
    char* const* argv;
    int input;
    int output;
    int status;
    OutputMode mode;
};

[[noreturn]] void FailInChild(int status_fd, StartFailure failure) {
    const ChildFailure report{failure, errno};
    [[maybe_unused]] const ssize_t written = ::write(status_fd, &report, sizeof report);
    ::_exit(127);
}

void ResetSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &action, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Puts fd in place as standard handle target, clearing close-on-exec.
bool PlaceAs(int fd, int target) {
    if (fd == target) return ::fcntl(fd, F_SETFD, 0) == 0;
    return ::dup2(fd, target) == target;
}

[[noreturn]] void RunChild(const ChildPlan& plan) {
    ResetSignals();
    ::setsid();
    if (!PlaceAs(plan.input, STDIN_FILENO) || !PlaceAs(plan.output, STDOUT_FILENO) ||
        !PlaceAs(plan.output, STDERR_FILENO))
        FailInChild(plan.status, StartFailure::Duplicate);
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    if (plan.mode == OutputMode::Discard) {
        // The intermediate child ends at once; the program's parent becomes
        // the system's reaper.
        const pid_t program = ::fork();
        if (program < 0) FailInChild(plan.status, StartFailure::Program);
        if (program > 0) ::_exit(0);
    }
    ::execve(plan.program, plan.argv, environ);
    FailInChild(plan.status, StartFailure::Program);
}

// The status pipe stays open until the exec succeeds or the child reports
// why it failed.
StartFailure ReadChildStatus(int status_fd) {
    ChildFailure report{};
    ssize_t count;
    do {
        count = ::read(status_fd, &report, sizeof report);
    } while (count < 0 && errno == EINTR);
    return count == static_cast<ssize_t>(sizeof report) ? report.failure : StartFailure::None;
}

}  // namespace

ChildProcess::Started ChildProcess::Start(const std::vector<std::string>& arguments,
                                          OutputMode mode) {
    const std::optional<std::string> program =
        arguments.empty() ? std::nullopt : FindProgram(arguments.front());
    if (!program) return Unexpected(StartFailure::Program);

    std::optional<Pipe> input = MakePipe();
    std::optional<Pipe> output = MakePipe();
    std::optional<Pipe> status = MakePipe();
    UniqueFd sink(mode == OutputMode::Discard ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : -1);
    if (!input || !output || !status || (mode == OutputMode::Discard && !sink.IsOpen()))
        return Unexpected(StartFailure::Pipes);

    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const ChildPlan plan{program->c_str(),    argv.data(),
                         input->read.Get(),   sink.IsOpen() ? sink.Get() : output->write.Get(),
                         status->write.Get(), mode};

    const pid_t pid = ::fork();
    if (pid < 0) return Unexpected(StartFailure::Program);
    if (pid == 0) RunChild(plan);

    // The program sees the end of its input at once; only it writes output.
    input.reset();
    output->write.Reset();
    sink.Reset();
    status->write.Reset();
    const StartFailure failure = ReadChildStatus(status->read.Get());
    if (failure != StartFailure::None || mode == OutputMode::Discard) {
        Collect(pid);
        if (failure != StartFailure::None) return Unexpected(failure);
        return std::optional<ChildProcess>();
    }
    return std::optional<ChildProcess>(ChildProcess(pid, std::move(output->read)));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_output(std::move(other.m_output)) {}

ChildProcess::~ChildProcess() { Terminate(); }

ReadState ChildProcess::ReadOutput(std::span<char> buffer, int timeout_ms, std::size_t* count) {
    pollfd ready{m_output.Get(), POLLIN, 0};
    const int polled = ::poll(&ready, 1, timeout_ms);
    if (polled == 0 || (polled < 0 && errno == EINTR)) return ReadState::Idle;
    if (polled < 0) return ReadState::Ended;
    const ssize_t read = ::read(m_output.Get(), buffer.data(), buffer.size());
    if (read < 0 && errno == EINTR) return ReadState::Idle;
    if (read <= 0) return ReadState::Ended;
    *count = static_cast<std::size_t>(read);
    return ReadState::Data;
}

std::optional<int> ChildProcess::TryExitCode() {
    if (m_pid < 0) return std::nullopt;
    int status = 0;
    const pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
    if (ended == 0 || (ended < 0 && errno == EINTR)) return std::nullopt;
    m_pid = -1;
    // Collected by someone else (SIGCHLD ignored in this process): the code is lost.
    if (ended < 0) return -1;
    return ExitCodeOf(status);
}

bool ChildProcess::HasExited() const {
    // WNOWAIT leaves the program uncollected, so its process group id cannot
    // be reused while the group is still being signalled.
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == m_pid;
}

void ChildProcess::Terminate() {
    if (m_pid < 0) return;
    ::kill(-m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    while (!HasExited() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kExitPoll);
    ::kill(-m_pid, SIGKILL);
    Collect(m_pid);
    m_pid = -1;
}

}  // namespace nb::external
