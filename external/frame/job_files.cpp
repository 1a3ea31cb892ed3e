#include "external/frame/job_files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <utility>

namespace nb::external {
namespace {

// How long a stream is waited on between two stop checks: well within the
// shortest report interval (100 ms).
constexpr int kStreamPollMs = 50;
constexpr int kTemporaryNameAttempts = 64;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as for any new file

FileIdentity IdentityFrom(const struct stat& info) { return {info.st_dev, info.st_ino}; }

bool IsStreamKind(mode_t mode) { return S_ISFIFO(mode) || S_ISCHR(mode); }

// The file a symbolic link leads to, so the finished output replaces that
// file and not the link; the name itself when it is no link or leads nowhere.
std::string Resolved(const std::string& destination) {
    struct stat info {};
    if (::lstat(destination.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return destination;
    std::unique_ptr<char, decltype(&std::free)> target(realpath(destination.c_str(), nullptr),
                                                       &std::free);
    return target ? std::string(target.get()) : destination;
}

// "<folder>/.<name>.<random>.part": hidden, in the destination's folder so
// that the rename stays on one file system.
std::string TemporaryName(const std::string& destination, std::uint32_t salt) {
    const std::size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : destination.substr(0, slash + 1);
    const std::string name =
        slash == std::string::npos ? destination : destination.substr(slash + 1);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", salt);
    return folder + "." + name + suffix + ".part";
}

std::uint32_t Salt() {
    thread_local std::minstd_rand generator(std::random_device{}());
    return static_cast<std::uint32_t>(generator());
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) return std::nullopt;
    return IdentityFrom(info);
}

bool IsOneOfTheInputs(const std::string& path,
                      std::initializer_list<std::optional<FileIdentity>> inputs) {
    const std::optional<FileIdentity> output = IdentityOf(path);
    if (!output) return false;
    for (const std::optional<FileIdentity>& input : inputs)
        if (input && *input == *output) return true;
    return false;
}

Expected<JobInput, JobInput::OpenFailure> JobInput::Open(const std::string& path,
                                                         StreamInputs streams,
                                                         JobChannel& channel) {
    // Without O_NONBLOCK, opening a pipe waits for its writer, and no stop
    // could end that wait.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || S_ISDIR(info.st_mode))
        return Unexpected(OpenFailure::NotOpened);
    const bool stream = IsStreamKind(info.st_mode);
    if (stream && streams == StreamInputs::Refused) return Unexpected(OpenFailure::NotOpened);
    JobInput input(std::move(fd), IdentityFrom(info), stream, channel);
    if (stream && !input.WaitForBytes()) {
        if (input.Stopped()) return Unexpected(OpenFailure::Stopped);
        return Unexpected(OpenFailure::NotOpened);
    }
    // Reads wait for bytes from here on (a pipe whose writer came and went
    // reads as ended); streams are still polled first, so a stop is seen.
    const int flags = ::fcntl(input.fd(), F_GETFL);
    if (flags < 0 || ::fcntl(input.fd(), F_SETFL, flags & ~O_NONBLOCK) < 0)
        return Unexpected(OpenFailure::NotOpened);
    return input;
}

bool JobInput::WaitForBytes() {
    // A pipe reports neither bytes nor a hang-up until a writer has come.
    pollfd ready{m_fd.Get(), POLLIN, 0};
    for (;;) {
        const int polled = ::poll(&ready, 1, kStreamPollMs);
        if (polled > 0) return true;
        if (polled < 0 && errno != EINTR) return false;
        if (m_channel->StopRequested()) {
            m_stopped = true;
            return false;
        }
    }
}

ReadResult JobInput::ReadSome(void* buffer, std::size_t count) {
    if (m_stopped) return {0, true};
    for (;;) {
        if (m_stream && !WaitForBytes()) return {0, true};
        const ssize_t got = ::read(m_fd.Get(), buffer, count);
        if (got >= 0) return {static_cast<std::size_t>(got), false};
        if (errno != EINTR && errno != EAGAIN) return {0, true};
    }
}

ReadResult JobInput::Read(void* buffer, std::size_t count) {
    ReadResult total;
    auto* bytes = static_cast<char*>(buffer);
    while (total.bytes < count) {
        const ReadResult part = ReadSome(bytes + total.bytes, count - total.bytes);
        total.bytes += part.bytes;
        if (part.failed) return {total.bytes, true};
        if (part.bytes == 0) break;
    }
    return total;
}

std::optional<StagedOutput> StagedOutput::Create(const std::string& destination) {
    if (destination.empty()) return std::nullopt;
    const std::string target = Resolved(destination);
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode)) return std::nullopt;
        // A pipe without a reader is refused at once instead of waited on.
        UniqueFd direct(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (!direct.IsOpen()) return std::nullopt;
        const int flags = ::fcntl(direct.Get(), F_GETFL);
        if (flags < 0 || ::fcntl(direct.Get(), F_SETFL, flags & ~O_NONBLOCK) < 0)
            return std::nullopt;
        return StagedOutput(std::move(direct), target, std::string());
    }
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        std::string temporary = TemporaryName(target, Salt());
        UniqueFd fd(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode));
        if (fd.IsOpen()) return StagedOutput(std::move(fd), std::move(temporary), target);
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

StagedOutput::StagedOutput(StagedOutput&& other) noexcept
    : m_fd(std::move(other.m_fd)),
      m_path(std::move(other.m_path)),
      m_destination(std::move(other.m_destination)),
      m_done(std::exchange(other.m_done, true)) {}

StagedOutput& StagedOutput::operator=(StagedOutput&& other) noexcept {
    if (this != &other) {
        Discard();
        m_fd = std::move(other.m_fd);
        m_path = std::move(other.m_path);
        m_destination = std::move(other.m_destination);
        m_done = std::exchange(other.m_done, true);
    }
    return *this;
}

StagedOutput::~StagedOutput() { Discard(); }

void StagedOutput::Discard() {
    if (m_done) return;
    m_done = true;
    m_fd.Reset();
    if (!m_destination.empty()) ::unlink(m_path.c_str());
}

bool StagedOutput::CloseFile() { return !m_fd.IsOpen() || m_fd.Close(); }

bool StagedOutput::Commit() {
    // Data the disk could not take may show only when the file is closed.
    const bool closed = CloseFile();
    if (m_destination.empty()) {
        m_done = true;
        return closed;
    }
    if (!closed || ::rename(m_path.c_str(), m_destination.c_str()) != 0) {
        ::unlink(m_path.c_str());
        m_done = true;
        return false;
    }
    m_done = true;
    return true;
}

}  // namespace nb::external
