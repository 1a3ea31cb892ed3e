// Starting another program with its standard handles on pipes, without a
// shell, and ending it.
//
// Every descriptor this side opens is close-on-exec, and the child marks any
// other inherited descriptor above 2 close-on-exec too, so the program gets
// its three standard handles and nothing else. The child also starts a
// session of its own (so a stop can end the program with everything it
// started) and default signal handling.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/kernel/expected.h"
#include "platform/kernel/unique_fd.h"

namespace nb::external {

enum class StartFailure {
    None,
    Pipes,      // the pipes (or /dev/null) could not be opened
    Duplicate,  // the child could not put them in place as its standard handles
    Program,    // the program was not found or could not be started
};

enum class OutputMode {
    Capture,  // standard output and error go into a pipe this side reads
    Discard,  // they go to /dev/null, and the program is left to itself
};

enum class ReadState { Data, Idle, Ended };

class ChildProcess {
   public:
    // Starts arguments[0] (searched on PATH when it holds no "/") with the
    // given arguments and the process environment. Its standard input is at
    // its end from the start. With OutputMode::Capture the result holds the
    // running process; with OutputMode::Discard the program is re-parented
    // at once (nothing here waits for it) and the result holds none.
    using Started = Expected<std::optional<ChildProcess>, StartFailure>;
    // Failure to run the program is seen here, not as an exit code: the
    // child reports a failed exec through a close-on-exec pipe.
    [[nodiscard]] static Started Start(const std::vector<std::string>& arguments, OutputMode mode);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Ends a program that is still running (Terminate).
    ~ChildProcess();

    // Waits up to timeout_ms for output, then reads at most buffer.size()
    // bytes. Data (with *count set), Idle when nothing came in time, Ended at
    // the end of the output or on a read error.
    ReadState ReadOutput(std::span<char> buffer, int timeout_ms, std::size_t* count);

    // The exit code once the program has ended: its own, or 128 + the
    // number of the signal that ended it. Nothing while it runs.
    std::optional<int> TryExitCode();

    // Asks the program's session to end (SIGTERM), kills what is left after
    // a short grace period (SIGKILL) and collects the program.
    void Terminate();

   private:
    ChildProcess(pid_t pid, UniqueFd output) : m_pid(pid), m_output(std::move(output)) {}

    bool HasExited() const;

    pid_t m_pid;  // -1 once collected
    UniqueFd m_output;
};

}  // namespace nb::external
