// The Debian package as a user gets it: made by CPack from this build,
// installed with apt-get, the installed launcher started under Xvfb from a
// folder outside the build with a home of its own, nbrun run from PATH, then
// removed and purged. The package's files must all be gone afterwards and the
// user's own files must stay. Needs root; the screenshots are kept in
// <build>/package-screenshots/.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "apps/ringtones/tests/shell_command.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSource(NB_TEST_SOURCE_DIR);
const fs::path kBuild(NB_TEST_BINARY_DIR);
const fs::path kApp = "/usr/lib/nimbra";

using nb::testing::Outcome;
using nb::testing::Read;
using nb::testing::Shell;

bool Installed() {
    return Shell("dpkg-query -W -f='${Status}' nimbra").output == "install ok installed";
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

class Package : public ::testing::Test {
   protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "installing a package with apt-get needs root";
        if (Installed())
            GTEST_SKIP() << "nimbra is installed on this machine; the test would remove it";
        m_dir = fs::temp_directory_path() / ("nb_package_" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "home");
        fs::create_directories(m_dir / "out");
        m_owner = true;
    }
    // The machine is left as it was found, whatever failed.
    void TearDown() override {
        if (!m_owner) return;
        if (Installed()) Shell("DEBIAN_FRONTEND=noninteractive apt-get purge -y -q nimbra");
        fs::remove_all(m_dir);
    }

    // Runs command in the test's folder with the test's home.
    Outcome AsUser(const std::string& command) const {
        return Shell("cd " + Quoted(m_dir) + " && env -u XDG_CONFIG_HOME -u XDG_DATA_HOME " +
                     "-u XDG_CACHE_HOME HOME=" + Quoted(m_dir / "home") + " " + command);
    }

    fs::path m_dir;
    bool m_owner = false;
};

TEST_F(Package, InstallsRunsAndRemovesCleanly) {
    const Outcome made =
        Shell("cd " + Quoted(kBuild) + " && cpack -G DEB -B " + Quoted(m_dir / "out"));
    ASSERT_EQ(made.exit_code, 0) << made.output;
    const Outcome install =
        Shell("cd " + Quoted(m_dir / "out") +
              " && DEBIAN_FRONTEND=noninteractive apt-get install -y -q ./nimbra_*.deb");
    ASSERT_EQ(install.exit_code, 0) << install.output;
    ASSERT_TRUE(Installed()) << install.output;

    std::vector<fs::path> files;
    std::istringstream listed(Shell("dpkg-query -L nimbra").output);
    for (std::string line; std::getline(listed, line);)
        if (!line.empty() && line != "/." && !fs::is_directory(line)) files.emplace_back(line);
    for (const char* expected :
         {"/usr/bin/nimbra-ringtones", "/usr/bin/nbrun", "/usr/bin/nbfetch",
          "/usr/lib/nimbra/NbBrowser", "/usr/lib/nimbra/NbBrowser.ini",
          "/usr/lib/nimbra/internals/NbExternal.so", "/usr/lib/nimbra/internals/nimbra",
          "/usr/lib/nimbra/internals/webext/NbPageBridge.so", "/usr/lib/nimbra/!/ui/main.html",
          "/usr/share/man/man1/nimbra-ringtones.1.gz", "/usr/share/man/man1/nbrun.1.gz",
          "/usr/share/man/man1/nbfetch.1.gz",
          "/usr/share/applications/org.nimbra.Ringtones.desktop",
          "/usr/share/metainfo/org.nimbra.Ringtones.metainfo.xml",
          "/usr/share/icons/hicolor/scalable/apps/org.nimbra.Ringtones.svg",
          "/usr/share/doc/nimbra/copyright"})
        EXPECT_NE(std::find(files.begin(), files.end(), fs::path(expected)), files.end())
            << expected;

    // nbrun from PATH finds the installed application, and its jar is the
    // user's: nothing is written under /usr, even by root.
    const Outcome app_dir = AsUser("nbrun GetApplicationDir");
    EXPECT_NE(app_dir.output.find("\"" + kApp.string() + "\""), std::string::npos)
        << app_dir.output;
    const Outcome jar = AsUser("nbrun SetJarVal '[\"Package\", \"checked\", \"yes\"]'");
    EXPECT_EQ(jar.exit_code, 0) << jar.output;
    const fs::path own_jar = m_dir / "home/.config/nimbra/NbExternal.jar";
    EXPECT_NE(Read(own_jar).find("checked=yes"), std::string::npos) << jar.output;
    EXPECT_FALSE(fs::exists(kApp / "internals/NbExternal.jar"));

    // The installed launcher makes a ringtone in its window.
    const fs::path out = kBuild / "package-screenshots";
    fs::remove_all(out);
    Shell("ffmpeg -v error -y -f lavfi -i sine=frequency=330:duration=30 -ac 2 -b:a 160k " +
          Quoted(m_dir / "song.mp3"));
    const Outcome session = AsUser(
        "NB_LAUNCHER=nimbra-ringtones xvfb-run -a -s '-screen 0 1280x900x24' dbus-run-session "
        "-- bash " +
        Quoted(kSource / "apps/ringtones/demo.sh") + " " + Quoted(kApp) + " " +
        Quoted(m_dir / "song.mp3") + " " + Quoted(out));
    EXPECT_EQ(session.exit_code, 0) << session.output << Read(out / "console.txt");
    const std::string stream = Shell("ffprobe -v error -show_entries stream=profile -of csv=p=0 " +
                                     Quoted(out / "ringtone.3gp"))
                                   .output;
    EXPECT_NE(stream.find("HE-AACv2"), std::string::npos) << stream << session.output;
    EXPECT_TRUE(fs::exists(out / "7-saved.png")) << session.output;
    RecordProperty("screenshots", out.string());

    // The dock matches the window to the desktop entry by its class.
    const std::string entry = Read("/usr/share/applications/org.nimbra.Ringtones.desktop");
    const std::string key = "StartupWMClass=";
    const std::size_t at = entry.find(key);
    ASSERT_NE(at, std::string::npos) << entry;
    const std::string wm_class =
        entry.substr(at + key.size(), entry.find('\n', at) - at - key.size());
    EXPECT_NE(session.output.find("window class: \"" + wm_class + "\", \"" + wm_class + "\""),
              std::string::npos)
        << session.output;
    EXPECT_TRUE(fs::exists(m_dir / "home/.config/nimbra/NbBrowser.ini"));

    const Outcome removed = Shell("DEBIAN_FRONTEND=noninteractive apt-get remove -y -q nimbra");
    EXPECT_EQ(removed.exit_code, 0) << removed.output;
    for (const fs::path& file : files) EXPECT_FALSE(fs::exists(fs::symlink_status(file))) << file;
    EXPECT_FALSE(fs::exists(kApp));
    // The package has no configuration files, so removing it already made
    // dpkg forget it (apt then knows no such name to purge); a purge after
    // that has nothing left to do and succeeds.
    const Outcome purged = Shell("dpkg --purge nimbra");
    EXPECT_EQ(purged.exit_code, 0) << purged.output;
    EXPECT_NE(Shell("dpkg -s nimbra").exit_code, 0) << purged.output;

    // What the user made and kept stays theirs.
    EXPECT_NE(Read(own_jar).find("checked=yes"), std::string::npos);
    EXPECT_TRUE(fs::exists(out / "ringtone.3gp"));
}

}  // namespace
