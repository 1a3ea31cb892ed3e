#include "shell/server/cgi_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "platform/kernel/fd_io.h"

namespace nb::server {

CgiProcess::~CgiProcess() { Stop(); }

SpawnError CgiProcess::Start(const std::string& program, const std::string& directory,
                             const std::vector<std::string>& environment) {
    // Every descriptor is close-on-exec; the child gets its ends as 0, 1, 2
    // through dup2, so no other request's pipe leaks into it.
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0) return SpawnError::InputPipe;
    UniqueFd input_read(input[0]);
    m_input.Reset(input[1]);
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) return SpawnError::OutputPipe;
    m_output.Reset(output[0]);
    UniqueFd output_write(output[1]);

    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input_read.Get(), 0);
    posix_spawn_file_actions_adddup2(&actions, output_write.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, output_write.Get(), 2);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    // The child starts with default signal handling whatever the shell set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    int failed = ::posix_spawn(&m_pid, program.c_str(), &actions, &attributes, argv, envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        m_pid = -1;
        return SpawnError::Process;
    }
    return SpawnError::None;
}

bool CgiProcess::WriteInput(const void* bytes, std::size_t count) {
    // Block SIGPIPE on this thread for the write and take a pending one
    // away afterwards, so a closed pipe is an error value, not a signal.
    sigset_t pipe_signal, previous;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
    const bool written = WriteFully(m_input.Get(), bytes, count);
    if (!written) {
        timespec zero{};
        while (sigtimedwait(&pipe_signal, nullptr, &zero) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return written;
}

long CgiProcess::ReadOutput(void* destination, std::size_t count) {
    for (;;) {
        ssize_t n = ::read(m_output.Get(), destination, count);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

std::size_t CgiProcess::ReadOutputFully(void* destination, std::size_t count) {
    auto* next = static_cast<char*>(destination);
    std::size_t total = 0;
    while (total < count) {
        long n = ReadOutput(next + total, count - total);
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
    }
    return total;
}

bool CgiProcess::HasEnded() {
    if (m_pid < 0 || m_ended) return true;
    int status = 0;
    pid_t reaped = ::waitpid(m_pid, &status, WNOHANG);
    if (reaped == m_pid || (reaped < 0 && errno == ECHILD)) m_ended = true;
    return m_ended;
}

bool CgiProcess::DiedWithoutOutput() {
    pollfd watch{m_output.Get(), POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&watch, 1, -1);
    } while (ready < 0 && errno == EINTR);
    // Data waiting, or an output still open: the process is talking.
    if (ready <= 0 || (watch.revents & POLLIN) != 0) return false;
    // The output closed with nothing in it.
    return HasEndedWithin(200);
}

bool CgiProcess::HasEndedWithin(int milliseconds) {
    for (int waited_ms = 0;; waited_ms += 5) {
        if (HasEnded()) return true;
        if (waited_ms >= milliseconds) return false;
        timespec pause{0, 5'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

void CgiProcess::Stop() {
    if (m_pid >= 0 && !HasEnded()) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_ended = true;
    }
    m_input.Reset();
}

}  // namespace nb::server
