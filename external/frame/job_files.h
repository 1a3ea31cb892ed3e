// The files a job reads and writes, so that no job ever loses the sound it
// was given: inputs opened without waiting for a writer and read so that a
// stop is seen even while a stream sends nothing; an output refused when it
// is one of the inputs under any name; and an output written under a
// temporary name beside its destination, taking the destination's place only
// once it is complete.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>

#include "external/frame/job_channel.h"
#include "platform/kernel/expected.h"
#include "platform/kernel/fd_io.h"
#include "platform/kernel/unique_fd.h"

namespace nb::external {

// A file as the system tells files apart, whatever the name used for it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Through symbolic links; nothing when path names no file.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// True when path (through links, also a hard link under another name) is the
// same file as one of the inputs. A path that names no file yet is no input.
bool IsOneOfTheInputs(const std::string& path,
                      std::initializer_list<std::optional<FileIdentity>> inputs);

// Whether a job can take its input as a stream (a named pipe, a character
// device) or needs a file it can seek in.
enum class StreamInputs { Accepted, Refused };

class JobInput {
   public:
    enum class OpenFailure { NotOpened, Stopped };

    // Opens path for reading at once, also a pipe no writer has opened yet.
    // NotOpened when it cannot be opened, is a folder, or is a stream the job
    // refuses. A stream is waited on until its writer comes, with the stop
    // checked meanwhile: Stopped when the stop came first.
    static Expected<JobInput, OpenFailure> Open(const std::string& path, StreamInputs streams,
                                                JobChannel& channel);

    int fd() const { return m_fd.Get(); }
    const FileIdentity& identity() const { return m_identity; }
    bool IsStream() const { return m_stream; }
    bool Stopped() const { return m_stopped; }

    // Waits for bytes (a stream is polled, so a stop is seen within 50 ms
    // while nothing arrives) and reads what is there, up to count: 0 at the
    // end. A stop is a failure with Stopped() set.
    ReadResult ReadSome(void* buffer, std::size_t count);
    // Reads until count bytes arrived, the input ended, a read failed or a
    // stop came.
    ReadResult Read(void* buffer, std::size_t count);

   private:
    JobInput(UniqueFd fd, FileIdentity identity, bool stream, JobChannel& channel)
        : m_fd(std::move(fd)), m_identity(identity), m_stream(stream), m_channel(&channel) {}

    // False on a stop or a failed poll.
    bool WaitForBytes();

    UniqueFd m_fd;
    FileIdentity m_identity;
    bool m_stream = false;
    JobChannel* m_channel;
    bool m_stopped = false;
};

// An output written under a temporary name in its destination's folder, so
// that a failed or stopped job leaves the destination as it was and no half
// file. A destination that exists and is not a plain file (a device such as
// /dev/null, a named pipe) is written directly, as it cannot be replaced.
class StagedOutput {
   public:
    // The temporary file, created for writing; nothing when the folder does
    // not exist or cannot be written, the destination is a folder, or a pipe
    // has no reader.
    static std::optional<StagedOutput> Create(const std::string& destination);
    StagedOutput(StagedOutput&& other) noexcept;
    StagedOutput& operator=(StagedOutput&& other) noexcept;
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;
    // Removes the temporary file unless it took the destination's place.
    ~StagedOutput();

    int fd() const { return m_fd.Get(); }
    // The name to write by, for writers that take a name.
    const std::string& path() const { return m_path; }
    // Closes the descriptor, for writers that reopen the file by name; false
    // when the close reports a failed write.
    [[nodiscard]] bool CloseFile();
    // Closes the file and puts it in the destination's place; false when the
    // close or the rename fails, and the temporary file is gone then too.
    [[nodiscard]] bool Commit();

   private:
    StagedOutput(UniqueFd fd, std::string path, std::string destination)
        : m_fd(std::move(fd)), m_path(std::move(path)), m_destination(std::move(destination)) {}

    UniqueFd m_fd;
    std::string m_path;         // the temporary file, or the destination itself
    std::string m_destination;  // empty when written directly
    bool m_done = false;

    void Discard();
};

}  // namespace nb::external
