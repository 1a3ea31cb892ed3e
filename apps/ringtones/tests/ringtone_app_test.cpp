// The ringtone application under Xvfb, driven as a person would drive it
// (xdotool clicks, drags and keys on the real page): the whole path from a
// song to a 3GP ringtone found on a real OBEX server, and the error paths.
// The outputs are checked with ffprobe and byte comparisons; the
// screenshots are kept in <build>/app-screenshots/.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "apps/ringtones/tests/shell_command.h"

namespace {

namespace fs = std::filesystem;

const fs::path kApp = fs::path(NB_TEST_SOURCE_DIR) / "apps/ringtones";
const fs::path kScreenshots = fs::path(NB_TEST_BINARY_DIR) / "app-screenshots";

using nb::testing::Outcome;
using nb::testing::Read;
using nb::testing::Shell;

// An application directory of its own, so the jar and the settings the
// application writes stay out of the build: a copy of the program and its
// pages, and the built modules linked one by one (a module finds its jar
// beside the path it was loaded from).
class RingtoneApp : public ::testing::Test {
   protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("nb_ringtones_" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "internals");
        const fs::path built(NB_TEST_APP_DIR);
        fs::copy_file(built / "NbBrowser", m_dir / "NbBrowser");
        fs::copy_file(kApp / "NbBrowser.ini", m_dir / "NbBrowser.ini");
        fs::copy(kApp / "!", m_dir / "!", fs::copy_options::recursive);
        for (const auto& entry : fs::directory_iterator(built / "internals"))
            fs::create_symlink(entry.path(), m_dir / "internals" / entry.path().filename());
        ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i sine=frequency=330:duration=40 -f lavfi "
                        "-i anoisesrc=color=pink:duration=40:amplitude=0.15 -filter_complex "
                        "'[0][1]amix=inputs=2,volume=2' -ac 2 -b:a 160k '" +
                        (m_dir / "song.mp3").string() + "'")
                      .exit_code,
                  0);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    Outcome Drive(const fs::path& script, const std::string& out) const {
        return Shell("xvfb-run -a -s '-screen 0 1280x900x24' dbus-run-session -- bash '" +
                     script.string() + "' '" + m_dir.string() + "' '" +
                     (m_dir / "song.mp3").string() + "' '" + out + "'");
    }

    std::string Probe(const fs::path& file, const std::string& entries) const {
        return Shell("ffprobe -v error -show_entries " + entries +
                     " -of default=noprint_wrappers=1 '" + file.string() + "'")
            .output;
    }

    fs::path m_dir;
};

TEST_F(RingtoneApp, APersonMakesARingtoneFromTheWaveform) {
    const fs::path out = kScreenshots / "main-path";
    fs::remove_all(out);
    const Outcome run = Drive(kApp / "demo.sh", out.string());
    ASSERT_EQ(run.exit_code, 0) << run.output << Read(out / "console.txt");

    // Five seconds dragged out of the waveform, as HE-AAC v2 in a 3GP file.
    const fs::path ringtone = out / "ringtone.3gp";
    ASSERT_TRUE(fs::exists(ringtone)) << run.output;
    const std::string stream = Probe(ringtone, "stream=codec_name,profile,sample_rate,channels");
    EXPECT_NE(stream.find("codec_name=aac"), std::string::npos) << stream;
    EXPECT_NE(stream.find("profile=HE-AACv2"), std::string::npos) << stream;
    EXPECT_NE(stream.find("channels=2"), std::string::npos) << stream;
    const double seconds = std::atof(
        Probe(ringtone, "format=duration").substr(std::string("duration=").size()).c_str());
    EXPECT_NEAR(seconds, 5.0, 0.6) << run.output;

    // The phones the stand-in Bluetooth daemon has in reach fill the list,
    // and the OBEX server received the ringtone byte for byte.
    EXPECT_NE(run.output.find("search finished: 2 phones, status 3302"), std::string::npos)
        << run.output;
    const std::string received = Read(out / "received-ringtone.3gp");
    EXPECT_FALSE(received.empty()) << run.output << Read(out / "obex-server.log");
    EXPECT_EQ(received, Read(ringtone));

    for (const char* screen : {"1-welcome", "2-open-dialog", "3-song", "4-selection", "5-preview",
                               "6-save-dialog", "7-saved", "8-phones", "9-sent"})
        EXPECT_TRUE(fs::exists(out / (std::string(screen) + ".png"))) << screen;
}

TEST_F(RingtoneApp, EveryFailureEndsInASentenceOnThePage) {
    const fs::path out = kScreenshots / "error-paths";
    fs::remove_all(out);
    const Outcome run = Drive(kApp / "tests/errors.sh", out.string());
    const std::string console = Read(out / "console.txt");
    for (const char* path : {"damaged-song", "no-cd-drive", "unwritable-folder", "no-phone"})
        EXPECT_NE(run.output.find(std::string("ERROR-SHOWN ") + path), std::string::npos)
            << path << "\n"
            << run.output << console;
    EXPECT_NE(console.find("damaged.mp3"), std::string::npos) << console;
    EXPECT_NE(console.find("ringtone.3gp"), std::string::npos) << console;
}

}  // namespace
