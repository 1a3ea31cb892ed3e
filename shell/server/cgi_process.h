// One run of the CGI interpreter: a child process whose standard input and
// output are pipes held by the server.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/unique_fd.h"

namespace nb::server {

enum class SpawnError { None, InputPipe, OutputPipe, Process };

class CgiProcess {
   public:
    CgiProcess() = default;
    CgiProcess(CgiProcess&&) = delete;
    // Kills a process still running and reaps it.
    ~CgiProcess();

    // Starts program (no arguments) in directory with exactly the given
    // environment; its standard error goes to its standard output.
    SpawnError Start(const std::string& program, const std::string& directory,
                     const std::vector<std::string>& environment);

    // Writes every byte to the interpreter's input; false when it no longer
    // reads (it ended or closed its input). Never raises SIGPIPE.
    bool WriteInput(const void* bytes, std::size_t count);
    void CloseInput() { m_input.Reset(); }

    // Reads up to count bytes of its output, waiting for them; 0 at the end,
    // -1 on error.
    long ReadOutput(void* destination, std::size_t count);
    // Reads until count bytes came or the output ended; the bytes read.
    std::size_t ReadOutputFully(void* destination, std::size_t count);
    int OutputDescriptor() const { return m_output.Get(); }

    // True once the process has ended (it is reaped then).
    bool HasEnded();
    // Waits up to milliseconds for the end. A process closes its files just
    // before it ends, so a closed pipe shows a moment before the end does.
    bool HasEndedWithin(int milliseconds);
    // True when the output has ended with nothing left to read and the
    // process ended within a short grace time.
    bool DiedWithoutOutput();

    // Kills the process if it still runs and reaps it; closes its input.
    // The output stays open for a reader that may still be draining it.
    void Stop();
    // Closes the output pipe (after any reader of it has finished).
    void CloseOutput() { m_output.Close(); }

   private:
    pid_t m_pid = -1;
    bool m_ended = false;
    UniqueFd m_input;
    UniqueFd m_output;
};

}  // namespace nb::server
