// No function loses the sound it was given: an output that is one of the
// inputs under any name is refused before anything is written, a stream
// that sends nothing can still be stopped, and a full disk leaves neither a
// half output nor a staged file, and the input as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "common/worker_protocol.h"
#include "external/audio/tests/audio_test_support.h"
#include "external/audio/tests/test_media.h"
#include "external/frame/tests/test_environment.h"
#include "platform/text/code_pages.h"

namespace nb::external::audio::testing {
namespace {

using nb::external::testing::Report;
using nb::external::testing::ReportKind;
using nb::external::testing::ShellDouble;
using nb::external::testing::TemporaryFolder;

enum class Function { Transcode, WaveMix, MakeMp3, MakeRingtone };

// Where the output goes, relative to the input.
enum class Output {
    SameName,      // the input's own name
    HardLink,      // a second name of the input file
    SymbolicLink,  // a link to the input
    SecondInput,   // the mix's background
    NewFile,       // a file of its own
    FullDisk,      // a small file system that fills while the first pass writes
    FullDiskLater  // one that holds the first pass but not the second
};

enum class Input { Wave, QuietWave, Mp3, SilentPipe };

struct Case {
    const char* name;
    Function function;
    Input input;
    Output output;
    LONG status;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string Bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

constexpr std::size_t kInputSamples = 2 * 44100 * 3;  // three seconds of stereo

class OwnInput : public ::testing::TestWithParam<Case> {
   protected:
    void SetUp() override {
        const Samples loud(kInputSamples, 20000);
        WriteWave(m_folder / "input.wav",
                  GetParam().input == Input::QuietWave ? Samples(kInputSamples, 3000) : loud);
        WriteWave(m_folder / "background.wav", Samples(2 * 44100, 100));
    }

    std::string InputPath() {
        switch (GetParam().input) {
            case Input::Mp3: {
                const std::string copy = m_folder / "input.mp3";
                std::filesystem::copy_file(TestMedia::Path("tone.mp3"), copy);
                return copy;
            }
            case Input::SilentPipe: {
                const std::string pipe = m_folder / "input.pipe";
                EXPECT_EQ(mkfifo(pipe.c_str(), 0600), 0);
                return pipe;
            }
            case Input::Wave:
            case Input::QuietWave:
                break;
        }
        return m_folder / "input.wav";
    }

    std::string OutputPath(const std::string& input) {
        switch (GetParam().output) {
            case Output::SameName:
                return input;
            case Output::HardLink:
                std::filesystem::create_hard_link(input, m_folder / "link.wav");
                return m_folder / "link.wav";
            case Output::SymbolicLink:
                std::filesystem::create_symlink(input, m_folder / "symlink.wav");
                return m_folder / "symlink.wav";
            case Output::SecondInput:
                return m_folder / "background.wav";
            case Output::NewFile:
                return m_folder / "out.wav";
            case Output::FullDisk:
            case Output::FullDiskLater:
                break;
        }
        return m_folder / "disk/out";
    }

    DWORD Start(const std::string& input, const std::string& output) {
        const std::u16string in = ToUtf16(input), out = ToUtf16(output);
        const std::u16string background = ToUtf16(m_folder / "background.wav");
        switch (GetParam().function) {
            case Function::Transcode:
                return StartWorker(m_shell, "EX_Transcode", {in, out, true, LONG{100}});
            case Function::WaveMix:
                return StartWorker(m_shell, "EX_WaveMix", {in, background, out, LONG{100}});
            case Function::MakeMp3:
                return StartWorker(m_shell, "EX_MakeMP3", {in, out, LONG{128}, LONG{100}});
            case Function::MakeRingtone:
                return StartWorker(m_shell, "EX_MakeRingtone",
                                   {in, out, LONG{4011}, LONG{0}, LONG{0}, LONG{100}, LONG{0},
                                    LONG{0}, LONG{100}});
        }
        return 0;
    }

    ShellDouble m_shell;
    TemporaryFolder m_folder;
};

TEST_P(OwnInput, KeepsTheInputAndLeavesNoHalfFile) {
    const Case& c = GetParam();
    const std::string input = InputPath();
    // A pipe is not read here: it would wait for a writer.
    const std::string before = c.input == Input::SilentPipe ? "" : Bytes(input);
    const std::string background_before = Bytes(m_folder / "background.wav");
    std::optional<SmallDisk> disk;
    if (c.output == Output::FullDisk || c.output == Output::FullDiskLater) {
        // The decoded sound is about 520 KiB: the later disk holds it once.
        disk.emplace(m_folder / "disk", c.output == Output::FullDisk ? 16 * 1024 : 768 * 1024);
        if (!disk->mounted()) GTEST_SKIP() << "mounting a small file system needs root";
    }
    const std::string output = OutputPath(input);
    const std::string old_output = c.output == Output::FullDisk ? "an earlier ringtone" : "";
    if (!old_output.empty()) std::ofstream(output) << old_output;

    const auto started = std::chrono::steady_clock::now();
    const DWORD thread = Start(input, output);
    ASSERT_NE(thread, 0u);
    if (c.input == Input::SilentPipe) {
        // Nothing is ever written to the pipe: only the stop can end the work.
        m_shell.PumpFor(500);
        m_shell.SendCommand(thread, NB_COMMAND_STOP);
    }
    ASSERT_TRUE(m_shell.WaitUntilFinished(thread, 60000));
    if (c.input == Input::SilentPipe) {
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
    }

    const std::vector<Report> reports = m_shell.ReportsOf(thread);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().kind, ReportKind::Notify);
    EXPECT_EQ(Numbers(reports.back()), std::vector<LONGLONG>{c.status});
    if (c.input != Input::SilentPipe) {
        EXPECT_EQ(Bytes(input), before);
    }
    EXPECT_EQ(Bytes(m_folder / "background.wav"), background_before);
    EXPECT_TRUE(m_folder.StagedFiles().empty());
    if (disk) {
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder / "disk"))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, old_output.empty() ? std::vector<std::string>{}
                                           : std::vector<std::string>{"out"});
        if (!old_output.empty()) {
            EXPECT_EQ(Bytes(output), old_output);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Functions, OwnInput,
    ::testing::Values(
        Case{"transcode_same_wave", Function::Transcode, Input::Wave, Output::SameName, 3206},
        Case{"transcode_same_mp3", Function::Transcode, Input::Mp3, Output::SameName, 3206},
        Case{"transcode_hard_link", Function::Transcode, Input::Wave, Output::HardLink, 3206},
        Case{"transcode_symlink", Function::Transcode, Input::Mp3, Output::SymbolicLink, 3206},
        Case{"transcode_silent_pipe", Function::Transcode, Input::SilentPipe, Output::NewFile,
             3300},
        Case{"transcode_disk_full", Function::Transcode, Input::Wave, Output::FullDisk, 3207},
        Case{"transcode_disk_full_normalising", Function::Transcode, Input::QuietWave,
             Output::FullDiskLater, 3223},
        Case{"mix_same_main", Function::WaveMix, Input::Wave, Output::SameName, 3204},
        Case{"mix_hard_link", Function::WaveMix, Input::Wave, Output::HardLink, 3204},
        Case{"mix_symlink", Function::WaveMix, Input::Wave, Output::SymbolicLink, 3204},
        Case{"mix_same_background", Function::WaveMix, Input::Wave, Output::SecondInput, 3204},
        Case{"mix_silent_pipe", Function::WaveMix, Input::SilentPipe, Output::NewFile, 3300},
        Case{"mix_disk_full", Function::WaveMix, Input::Wave, Output::FullDisk, 3206},
        Case{"mp3_same", Function::MakeMp3, Input::Wave, Output::SameName, 3203},
        Case{"mp3_hard_link", Function::MakeMp3, Input::Wave, Output::HardLink, 3203},
        Case{"mp3_symlink", Function::MakeMp3, Input::Wave, Output::SymbolicLink, 3203},
        Case{"mp3_pipe_refused", Function::MakeMp3, Input::SilentPipe, Output::NewFile, 3202},
        Case{"ringtone_same", Function::MakeRingtone, Input::Wave, Output::SameName, 3208},
        Case{"ringtone_hard_link", Function::MakeRingtone, Input::Wave, Output::HardLink, 3208},
        Case{"ringtone_symlink", Function::MakeRingtone, Input::Wave, Output::SymbolicLink, 3208},
        Case{"ringtone_silent_pipe", Function::MakeRingtone, Input::SilentPipe, Output::NewFile,
             3300},
        Case{"ringtone_disk_full", Function::MakeRingtone, Input::Wave, Output::FullDisk, 3209}),
    [](const ::testing::TestParamInfo<Case>& param_info) {
        return std::string(param_info.param.name);
    });

}  // namespace
}  // namespace nb::external::audio::testing
