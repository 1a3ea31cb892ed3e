// Local server: a 20 MB file and a 20 MB library resource served through
// Start/Read against a plain read() of the same file, and CGI requests per
// second through the server against starting php-cgi directly for the same
// script. Prints one table; the references are measured in the same run,
// each file case's rounds alternating with rounds of its reference so that
// a busy machine weighs on both alike.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"
#include "shell/server/recording_sink.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using nb::server::CProtocolHandler;

constexpr std::size_t kBigSize = 20u << 20;
constexpr int kFileRounds = 15;
constexpr int kCgiRounds = 40;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <typename F>
double TimeOf(F&& f) {
    Clock::time_point start = Clock::now();
    f();
    return Seconds(Clock::now() - start);
}

struct Paired {
    double ours;       // median seconds
    double reference;  // median seconds of the rounds in between
    double ratio;      // median of each round's ours / reference
};

// Rounds of ours and of reference, taken in turn.
template <typename Ours, typename Reference>
Paired MedianAgainst(int rounds, Ours&& ours, Reference&& reference) {
    std::vector<double> our_times;
    std::vector<double> reference_times;
    std::vector<double> ratios;
    for (int i = 0; i < rounds; ++i) {
        reference_times.push_back(TimeOf(reference));
        our_times.push_back(TimeOf(ours));
        ratios.push_back(our_times.back() / reference_times.back());
    }
    return {Median(our_times), Median(reference_times), Median(ratios)};
}

std::size_t ServeThroughHandler(const nb::server::ServerSettings& settings,
                                const std::u16string& url, DWORD flags, std::vector<char>& into) {
    auto sink = std::make_shared<nb::server::RecordingSink>();
    auto bind = std::make_shared<nb::server::SimpleBindInfo>(nb::server::BindInfo{}, flags);
    CProtocolHandler handler(settings);
    std::size_t total = 0;
    if (handler.Start(url.c_str(), sink, bind, 0, 0) == S_OK) {
        for (;;) {
            std::size_t seen = sink->DataCount();
            ULONG count = 0;
            HRESULT hr = handler.Read(into.data() + (total % (into.size() - 65536)), 65536, &count);
            total += count;
            if (hr == S_OK) continue;
            if (hr != E_PENDING || !sink->WaitForData(seen, 30000)) break;
        }
    }
    handler.Terminate(0);
    return total;
}

std::size_t PlainRead(const std::string& path, std::vector<char>& into) {
    int fd = ::open(path.c_str(), O_RDONLY);
    std::size_t total = 0;
    for (;;) {
        ssize_t n =
            ::read(fd, into.data() + total, std::min<std::size_t>(65536, into.size() - total));
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return total;
}

// What any server holding a response in memory pays at least: read() into
// a fresh block, then one copy out to the reader.
std::size_t ReadIntoFreshBuffer(const std::string& path, std::vector<char>& into) {
    std::unique_ptr<char[]> block(new char[kBigSize]);
    int fd = ::open(path.c_str(), O_RDONLY);
    std::size_t total = 0;
    for (ssize_t n;
         total < kBigSize && (n = ::read(fd, block.get() + total, kBigSize - total)) > 0;) {
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    for (std::size_t at = 0; at < total; at += 65536) {
        std::memcpy(into.data() + at, block.get() + at, std::min<std::size_t>(65536, total - at));
    }
    return total;
}

// The least a mirror that copies pays: read() into a fresh block, the block
// written to a new file (the one before it removed, as a cache entry's is).
std::size_t ReadAndWriteCopy(const std::string& path, const std::string& copy) {
    std::vector<char> block(kBigSize);
    std::size_t total = PlainRead(path, block);
    ::unlink(copy.c_str());
    int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::size_t written = 0;
    for (ssize_t n;
         written < total && (n = ::write(fd, block.data() + written, total - written)) > 0;)
        written += static_cast<std::size_t>(n);
    ::close(fd);
    return written;
}

// php-cgi started the way a web server would, output read to the end.
std::size_t DirectPhpCgi(const std::string& script) {
    std::string filename = "SCRIPT_FILENAME=" + script;
    std::string path =
        std::string("PATH=") + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin");
    char* envp[] = {const_cast<char*>("REDIRECT_STATUS=200"),
                    const_cast<char*>("GATEWAY_INTERFACE=CGI/1.1"),
                    const_cast<char*>("REQUEST_METHOD=GET"),
                    filename.data(),
                    path.data(),
                    nullptr};
    int out[2];
    if (::pipe(out) != 0) return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char* argv[] = {const_cast<char*>("php-cgi"), nullptr};
    pid_t pid = 0;
    ::posix_spawnp(&pid, "php-cgi", &actions, nullptr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char chunk[8192];
    std::size_t total = 0;
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;)
        total += static_cast<std::size_t>(n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return total;
}

void Row(const char* what, Paired times) {
    std::printf("| %-34s | %12.3f | %12.3f | %-5s | %6.3f |\n", what, times.ours * 1000,
                times.reference * 1000, "ms", times.ratio);
}

void RateRow(const char* what, double ours, double reference, const char* unit, bool rate) {
    std::printf("| %-34s | %12.3f | %12.3f | %-5s | %6.3f |\n", what, ours, reference, unit,
                rate ? reference / ours : ours / reference);
}

}  // namespace

int main() {
    char pattern[] = "/tmp/nb_server_bench_XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string scratch = pattern;
    const std::string base = scratch + "/app";
    fs::create_directories(base + "/!/ui");
    NbSetUrlCacheDirectory((scratch + "/cache").c_str());

    std::string big(kBigSize, '\0');
    std::mt19937 random(7);
    for (char& c : big) c = static_cast<char>(random());
    const std::string big_file = base + "/!/ui/big.bin";
    std::ofstream(big_file, std::ios::binary)
        .write(big.data(), static_cast<std::streamsize>(big.size()));
    std::ofstream(scratch + "/big.res.bin", std::ios::binary)
        .write(big.data(), static_cast<std::streamsize>(big.size()));
    std::ofstream(scratch + "/r.rc") << "\"res/big.bin\" 23 big.res.bin\n";
    std::string build =
        "cd '" + scratch +
        "' && " NB_BENCH_WINDRES
        " --preprocessor=cpp --preprocessor-arg=-xc r.rc -O coff -o r.o && " NB_BENCH_LD
        " -shared --entry=0 -o '" +
        base + "/lib.dll' r.o";
    if (std::system(build.c_str()) != 0) return 1;
    std::ofstream(base + "/!/ui/hello.php") << "<?php echo 'hello';";
    // php-cgi declares UTF-8, so the page arrives with the mark: 8 bytes.

    nb::server::ServerSettings settings;
    settings.shell_directory = nb::ToUtf16(base);
    settings.interpreter = NB_BENCH_APP_DIR "/internals/nimbra";
    settings.environment = [](const char* name) -> const char* { return std::getenv(name); };
    nb::server::CookieStore cookies;
    settings.cookies = &cookies;

    std::vector<char> into(kBigSize + (1u << 20));
    const std::u16string file_url = nb::ToUtf16("x-mrs://" + base + "/!/ui/big.bin");
    const std::u16string resource_url = nb::ToUtf16("x-mrs://" + base + "/!/lib/res/big.bin");
    const std::u16string cgi_url = nb::ToUtf16("x-mrs://" + base + "/!/ui/hello.php");
    if (ServeThroughHandler(settings, file_url, 0, into) != kBigSize ||
        ServeThroughHandler(settings, resource_url, 0, into) != kBigSize ||
        PlainRead(big_file, into) != kBigSize ||
        ServeThroughHandler(settings, cgi_url, 0, into) != 8 ||
        DirectPhpCgi(base + "/!/ui/hello.php") == 0) {
        std::fprintf(stderr, "server_bench: a request did not deliver its bytes\n");
        return 1;
    }

    auto plain_read = [&] { PlainRead(big_file, into); };
    Paired buffered = MedianAgainst(
        kFileRounds, [&] { ReadIntoFreshBuffer(big_file, into); }, plain_read);
    Paired copied = MedianAgainst(
        kFileRounds, [&] { ReadAndWriteCopy(big_file, scratch + "/copy.bin"); }, plain_read);
    Paired file_nocache = MedianAgainst(
        kFileRounds,
        [&] { ServeThroughHandler(settings, file_url, nb::server::BINDF_NOWRITECACHE, into); },
        plain_read);
    Paired file_cached = MedianAgainst(
        kFileRounds, [&] { ServeThroughHandler(settings, file_url, 0, into); }, plain_read);
    Paired resource_nocache = MedianAgainst(
        kFileRounds,
        [&] { ServeThroughHandler(settings, resource_url, nb::server::BINDF_NOWRITECACHE, into); },
        plain_read);
    Paired resource_cached = MedianAgainst(
        kFileRounds, [&] { ServeThroughHandler(settings, resource_url, 0, into); }, plain_read);

    Clock::time_point start = Clock::now();
    for (int i = 0; i < kCgiRounds; ++i) DirectPhpCgi(base + "/!/ui/hello.php");
    double direct_rate = kCgiRounds / Seconds(Clock::now() - start);
    start = Clock::now();
    for (int i = 0; i < kCgiRounds; ++i)
        ServeThroughHandler(settings, cgi_url, nb::server::BINDF_NOWRITECACHE, into);
    double server_rate = kCgiRounds / Seconds(Clock::now() - start);

    const double mb = static_cast<double>(kBigSize) / (1 << 20);
    std::printf("| %-34s | %12s | %12s | %-5s | %6s |\n", "case (20 MB; median of 15)", "server",
                "reference", "unit", "ratio");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(14, '-').c_str(),
                std::string(14, '-').c_str(), std::string(7, '-').c_str(),
                std::string(8, '-').c_str());
    Row("file, no cache vs read()", file_nocache);
    Row("file, cache mirror vs read()", file_cached);
    Row("resource, no cache vs read()", resource_nocache);
    Row("resource, cache mirror vs read()", resource_cached);
    Row("read() + copy out vs read()", buffered);
    Row("read() + write() a copy vs read()", copied);
    RateRow("CGI req/s vs php-cgi direct", server_rate, direct_rate, "req/s", true);
    std::printf(
        "(%.0f MB; ratio = median of server time / reference time per round, for CGI reference "
        "rate / server rate)\n",
        mb);

    NbSetUrlCacheDirectory(nullptr);
    fs::remove_all(scratch);
    return 0;
}
