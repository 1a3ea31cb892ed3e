#include "bench/bench_support.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "common/script_array.h"
#include "platform/text/code_pages.h"

extern char** environ;

namespace nb::bench {
namespace {

// The high-water mark of a running process's resident size, or 0 once it
// has ended. (The rusage of a waited child is no use here: the kernel keeps
// the spawning process's own peak in it across exec.)
long HighWaterKb(pid_t pid) {
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!status) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    std::fclose(status);
    return kb;
}

}  // namespace

pid_t Spawn(const std::vector<std::string>& command, int output_fd) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output_fd >= 0) posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

ChildRun RunChild(const std::vector<std::string>& command) {
    constexpr auto kPollInterval = std::chrono::milliseconds(2);
    const pid_t pid = Spawn(command);
    if (pid < 0) return {};
    ChildRun run;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        run.peak_kb = std::max(run.peak_kb, HighWaterKb(pid));
        std::this_thread::sleep_for(kPollInterval);
    }
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

std::optional<double> ProgramSeconds(const std::vector<std::string>& command) {
    const auto start = Clock::now();
    if (!RunChild(command).ok) return std::nullopt;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uintmax_t SizeOf(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

bool MakeNoiseWave(const std::string& path, int minutes) {
    const std::string seconds = std::to_string(minutes * 60);
    const std::string noise = "anoisesrc=c=pink:a=0.3:r=44100:d=" + seconds;
    const std::string command = "ffmpeg -v error -y -filter_complex '" + noise + ":seed=1[l];" +
                                noise + ":seed=2[r];[l][r]join=inputs=2:channel_layout=stereo'" +
                                " -c:a pcm_s16le -bitexact -f wav '" + path + "'";
    return std::system(command.c_str()) == 0;
}

void SetText(VARIANT& value, const std::string& text) {
    const std::u16string wide = nb::ToUtf16(text);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

VARIANT Text(const std::string& text) {
    VARIANT value;
    VariantInit(&value);
    SetText(value, text);
    return value;
}

bool TextList(VARIANT& list, const std::vector<std::string>& texts) {
    if (FAILED(NB_ARRAY_CREATE(&list))) return false;
    int index = 0;
    for (const std::string& text : texts) {
        nb::Variant element;
        SetText(element, text);
        if (FAILED(NB_ARRAY_ADDELEMENT(&list, index++, &element))) return false;
    }
    return true;
}

HRESULT StatusPage::CallFunction(LPCWSTR, DISPPARAMS* arguments, VARIANT*) {
    // DISPPARAMS hold the values last-first: the first parameter is last.
    if (arguments && arguments->cArgs > 0)
        last_status = arguments->rgvarg[arguments->cArgs - 1].lVal;
    return S_OK;
}

BridgeHost::BridgeHost() : m_loop(nb::CreateHeadlessLoop()) {
    nb::SetCurrentThreadLoop(m_loop.get());
    m_bridge = nb::bridge::ExtensionBridge::Create({nullptr, &m_page, &m_system, nullptr});
}

BridgeHost::~BridgeHost() {
    m_bridge.reset();
    nb::SetCurrentThreadLoop(nullptr);
}

std::optional<Clock::time_point> BridgeHost::Call(const std::string& function, const VARIANT& list,
                                                  const std::string& callback, VARIANT* result) {
    if (!m_bridge) return std::nullopt;
    nb::Variant name, callback_name;
    SetText(name, function);
    SetText(callback_name, callback);
    // DISPPARAMS hold the arguments last-first.
    VARIANT arguments[3] = {callback_name, list, name};
    DISPPARAMS params{arguments, nullptr, 3, 0};
    nb::Variant own_result;
    EXCEPINFO exception{};
    m_page.last_status = 0;
    const auto start = Clock::now();
    if (FAILED(m_bridge->Execute(&params, DISPATCH_METHOD, result ? result : &own_result,
                                 &exception, nullptr)))
        return std::nullopt;
    return start;
}

std::optional<double> BridgeHost::TimedRun(const std::string& function, const VARIANT& list,
                                           const std::string& callback, LONG working, LONG finished,
                                           DWORD wait_ms) {
    const std::optional<Clock::time_point> start = Call(function, list, callback);
    if (!start) return std::nullopt;
    PumpWhile([&] { return m_page.last_status == 0 || m_page.last_status == working; }, wait_ms);
    const double seconds = std::chrono::duration<double>(Clock::now() - *start).count();
    PumpWhile([&] { return WorkersLive(); }, wait_ms);
    if (m_page.last_status != finished) return std::nullopt;
    return seconds;
}

bool BridgeHost::WorkersLive() const {
    return m_bridge->RegisteredWorkers() != 0 || m_bridge->LiveWorkerThreads() != 0;
}

}  // namespace nb::bench
