#include "external/audio/tests/private_pulse_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/kernel/fd_io.h"

extern char** environ;

namespace nb::external::audio::testing {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(5);
constexpr const char* kMonitor = "nbtest.monitor";
constexpr std::size_t kFragmentSamples = 882;  // 10 ms

pid_t Spawn(const std::vector<std::string>& command, const std::vector<std::string>& extra_env,
            int output_fd = -1) {
    std::vector<std::string> environment(extra_env);
    for (char** variable = environ; *variable; ++variable) environment.emplace_back(*variable);
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (output_fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Terminate(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    const auto deadline = Clock::now() + kStopTimeout;
    while (Clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool Accepts(const std::string& socket_path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
    const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return accepted;
}

}  // namespace

PrivatePulseServer::PrivatePulseServer(Sinks sinks) {
    const std::string& root = m_folder.path();
    for (const char* name : {"home", "runtime", "xdg"})
        std::filesystem::create_directories(m_folder / name);
    const std::string socket_path = m_folder / "native";
    m_address = "unix:" + socket_path;
    std::vector<std::string> command = {"pulseaudio",        "-n",
                                        "--daemonize=no",    "--exit-idle-time=-1",
                                        "--use-pid-file=no", "--log-target=stderr"};
    if (sinks == Sinks::NullSink)
        command.insert(command.end(), {"-L", "module-null-sink sink_name=nbtest norewinds=1"});
    command.insert(command.end(),
                   {"-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket_path});
    // Running as root, the daemon still takes its folders from here.
    m_daemon = Spawn(command, {"HOME=" + root + "/home", "XDG_RUNTIME_DIR=" + root + "/xdg",
                               "PULSE_RUNTIME_PATH=" + root + "/runtime"});
    if (m_daemon < 0) return;
    const auto deadline = Clock::now() + kStartTimeout;
    while (!Accepts(socket_path)) {
        if (Clock::now() >= deadline || waitpid(m_daemon, nullptr, WNOHANG) == m_daemon) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_server_variable.emplace("PULSE_SERVER", m_address);
    if (sinks == Sinks::NullSink) {
        m_keeper =
            Spawn({"pacat", "--playback", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                   "--latency-msec=10", "--client-name=nbtest-keeper", "/dev/zero"},
                  {});
        if (m_keeper < 0) return;
    }
    m_ready = true;
}

PrivatePulseServer::~PrivatePulseServer() {
    StopDaemon();
    m_server_variable.reset();
}

void PrivatePulseServer::StopDaemon() {
    Terminate(m_keeper);
    m_keeper = -1;
    if (m_daemon > 0) {
        kill(m_daemon, SIGKILL);
        waitpid(m_daemon, nullptr, 0);
    }
    m_daemon = -1;
}

MonitorRecorder::MonitorRecorder() {
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) return;
    m_recorder = Spawn({"parec", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                        "--latency-msec=10", "--client-name=nbtest-recorder", "-d", kMonitor},
                       {}, pipe_ends[1]);
    close(pipe_ends[1]);
    if (m_recorder < 0) {
        close(pipe_ends[0]);
        return;
    }
    m_thread = std::thread([this, pipe_end = pipe_ends[0]] { Record(pipe_end); });
    // The sink renders all the time, so the monitor delivers from the start.
    const auto deadline = Clock::now() + kStartTimeout;
    while (Fragments().empty() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    m_ready = !Fragments().empty();
}

void MonitorRecorder::Record(int pipe_end) {
    std::vector<std::int16_t> fragment(kFragmentSamples);
    for (;;) {
        const ReadResult read = ReadFully(pipe_end, fragment.data(), fragment.size() * 2);
        if (read.failed || read.bytes < fragment.size() * 2) break;
        const Clock::time_point arrived = Clock::now();
        std::size_t sounding = 0;
        for (std::size_t i = 0; i < fragment.size(); i += 2)
            if (fragment[i] != 0 || fragment[i + 1] != 0) sounding += 2;
        std::lock_guard lock(m_mutex);
        m_samples.insert(m_samples.end(), fragment.begin(), fragment.end());
        m_fragments.push_back({arrived, m_samples.size()});
        m_sounding += sounding;
    }
    close(pipe_end);
}

void MonitorRecorder::Stop() {
    Terminate(m_recorder);
    m_recorder = -1;
    if (m_thread.joinable()) m_thread.join();
}

std::vector<std::int16_t> MonitorRecorder::Samples() const {
    std::lock_guard lock(m_mutex);
    return m_samples;
}

std::vector<MonitorRecorder::Fragment> MonitorRecorder::Fragments() const {
    std::lock_guard lock(m_mutex);
    return m_fragments;
}

std::size_t MonitorRecorder::SoundingSamples() const {
    std::lock_guard lock(m_mutex);
    return m_sounding;
}

std::vector<std::int16_t> SoundingFrames(const std::vector<std::int16_t>& samples) {
    std::vector<std::int16_t> sounding;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
        if (samples[i] == 0 && samples[i + 1] == 0) continue;
        sounding.push_back(samples[i]);
        sounding.push_back(samples[i + 1]);
    }
    return sounding;
}

}  // namespace nb::external::audio::testing
