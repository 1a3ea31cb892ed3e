// The descriptor owner and whole reads and writes, over pipes and files.
#include "platform/kernel/fd_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Pipe {
    nb::UniqueFd read_end;
    nb::UniqueFd write_end;
};

Pipe MakePipe() {
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    return {nb::UniqueFd(ends[0]), nb::UniqueFd(ends[1])};
}

bool IsOpenDescriptor(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesOnceAndMovesOwnership) {
    Pipe pipe = MakePipe();
    const int fd = pipe.read_end.Get();
    {
        nb::UniqueFd moved(std::move(pipe.read_end));
        EXPECT_FALSE(pipe.read_end.IsOpen());
        EXPECT_EQ(moved.Get(), fd);
        nb::UniqueFd assigned;
        assigned = std::move(moved);
        EXPECT_EQ(assigned.Get(), fd);
        EXPECT_TRUE(IsOpenDescriptor(fd));
    }
    EXPECT_FALSE(IsOpenDescriptor(fd));

    const int kept = pipe.write_end.Release();
    EXPECT_FALSE(pipe.write_end.IsOpen());
    EXPECT_TRUE(IsOpenDescriptor(kept));
    nb::UniqueFd(kept).Reset();
    EXPECT_FALSE(IsOpenDescriptor(kept));

    nb::UniqueFd closed(::dup(STDERR_FILENO));
    const int duplicate = closed.Get();
    EXPECT_TRUE(closed.Close());
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_FALSE(IsOpenDescriptor(duplicate));
    EXPECT_TRUE(closed.Close());                    // nothing left to close
    EXPECT_FALSE(nb::UniqueFd(duplicate).Close());  // no longer a descriptor
}

// A pipe carries at most its capacity at once, so a megabyte written on one
// side and read on the other is a chain of short transfers both ways.
TEST(FdIo, WholeTransfersRideOverShortOnes) {
    Pipe pipe = MakePipe();
    std::vector<unsigned char> sent(1 << 20);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<unsigned char>(i * 7);
    bool written = false;
    std::thread writer([&] {
        written = nb::WriteFully(pipe.write_end.Get(), sent.data(), sent.size());
        pipe.write_end.Reset();
    });
    std::vector<unsigned char> received(sent.size() + 100);
    const nb::ReadResult read =
        nb::ReadFully(pipe.read_end.Get(), received.data(), received.size());
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_FALSE(read.failed);
    ASSERT_EQ(read.bytes, sent.size());  // the end of the pipe ends the read
    received.resize(read.bytes);
    EXPECT_EQ(received, sent);
}

TEST(FdIo, FailuresAreReported) {
    Pipe pipe = MakePipe();
    pipe.read_end.Reset();
    // Writing to a pipe nobody reads fails (SIGPIPE ignored, as the programs do).
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    const char byte = 'x';
    EXPECT_FALSE(nb::WriteFully(pipe.write_end.Get(), &byte, 1));
    ::sigaction(SIGPIPE, &previous, nullptr);

    char buffer[4];
    EXPECT_TRUE(nb::ReadFully(pipe.write_end.Get(), buffer, sizeof buffer).failed);
    EXPECT_FALSE(nb::WriteFully(-1, &byte, 1));
    EXPECT_TRUE(nb::WriteFully(-1, &byte, 0));  // nothing to write needs no descriptor
}

TEST(FdIo, OpensFilesButNotFolders) {
    const fs::path dir = fs::temp_directory_path() / ("fd_io_test." + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "data").string();
    {
        nb::UniqueFd created = nb::CreateReplacing(file);
        ASSERT_TRUE(created.IsOpen());
        ASSERT_TRUE(nb::WriteFully(created.Get(), "first text", 10));
    }
    {
        nb::UniqueFd replaced = nb::CreateReplacing(file);
        ASSERT_TRUE(nb::WriteFully(replaced.Get(), "new", 3));
    }
    nb::UniqueFd opened = nb::OpenForReading(file);
    ASSERT_TRUE(opened.IsOpen());
    char buffer[16] = {};
    const nb::ReadResult read = nb::ReadFully(opened.Get(), buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, read.bytes), "new");

    EXPECT_FALSE(nb::OpenForReading(dir.string()).IsOpen());
    EXPECT_FALSE(nb::OpenForReading((dir / "missing").string()).IsOpen());
    EXPECT_FALSE(nb::CreateReplacing((dir / "missing" / "file").string()).IsOpen());
    fs::remove_all(dir);
}

}  // namespace
