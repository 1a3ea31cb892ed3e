// Network transfer: EX_DownloadToFile and EX_UploadFiles of a 200 MB body run
// through the extension bridge as a page runs them, against the curl command
// line doing the same transfer with the same server in the same run; and the
// peak resident size of a process doing each, for a small and a large body.
//
//   - download: GET of the body into a file, against "curl -o file URL";
//   - upload: one file in a multipart/form-data POST, against
//     "curl --http1.0 -F file000=@file URL".
//
// The server is a loopback HTTP server on a thread of this process, sending
// a pattern from memory and reading uploads without keeping them.
//
// Run without arguments. "--download <url> <file>" or "--upload <url> <file>"
// runs one transfer through the bridge and exits: the memory figures come
// from such a child. "--peak <command...>" runs a command and prints its
// peak resident size.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/script_array.h"
#include "external/net/tests/loopback_server.h"
#include "platform/kernel/program_paths.h"
#include "platform/urlcache/url_cache.h"

namespace {

using namespace nb::bench;
using nb::net_testing::Exchange;
using nb::net_testing::HttpAnswer;
using nb::net_testing::LoopbackServer;

constexpr int kRepeats = 5;
constexpr std::uint64_t kMegabyte = 1 << 20;
constexpr std::uint64_t kTimedBytes = 200 * kMegabyte;
constexpr std::uint64_t kSmallDownload = 20 * kMegabyte;
constexpr std::uint64_t kLargeDownload = 200 * kMegabyte;
constexpr std::uint64_t kSmallUpload = 50 * kMegabyte;
constexpr std::uint64_t kLargeUpload = 500 * kMegabyte;
constexpr LONG kDownloaded = 3302;
constexpr LONG kUploaded = 3303;
// Every worker start pauses a tenth of a second before the script goes on.
constexpr double kWorkerStartPauseSeconds = 0.1;

// GET /<bytes> answers that many bytes of a pattern; a POST is read to its
// end and answered "ok".
void Serve(Exchange& exchange) {
    static const std::string block = [] {
        std::string bytes(kMegabyte, '\0');
        for (std::size_t at = 0; at < bytes.size(); ++at)
            bytes[at] = static_cast<char>(at * 7 + at / 251);
        return bytes;
    }();
    const std::string line = exchange.request().RequestLine();
    if (line.starts_with("POST ")) {
        exchange.DrainBody();
        exchange.Send(HttpAnswer(200, "ok"));
        return;
    }
    const std::uint64_t bytes = std::strtoull(line.c_str() + line.find('/') + 1, nullptr, 10);
    if (!exchange.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bytes) +
                       "\r\nConnection: close\r\n\r\n"))
        return;
    for (std::uint64_t sent = 0; sent < bytes;) {
        const std::size_t part =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), bytes - sent));
        if (!exchange.Send(std::string_view(block).substr(0, part))) return;
        sent += part;
    }
}

std::string BodyUrl(const LoopbackServer& server, std::uint64_t bytes) {
    return server.Url("/" + std::to_string(bytes));
}

bool MakeFile(const std::string& path, std::uint64_t bytes) {
    return std::system(
               ("head -c " + std::to_string(bytes) + " /dev/urandom > '" + path + "'").c_str()) ==
           0;
}

// The shell's side, with the two workers as a page calls them.
class BridgeShell {
   public:
    bool Download(const std::string& url, const std::string& file) {
        return Execute("DownloadToFile", [&](VARIANT& list) {
                   return TextList(list, {url, file});
               }) == kDownloaded;
    }

    bool Upload(const std::string& url, const std::string& file) {
        return Execute("UploadFiles", [&](VARIANT& list) {
                   nb::Variant files;
                   return TextList(list, {url}) && TextList(files, {file}) &&
                          SUCCEEDED(NB_ARRAY_ADDELEMENT(&list, 1, &files));
               }) == kUploaded;
    }

   private:
    // Execute(name, list, "onNet"), then the messages flow until the worker
    // has reported and gone. The status it ended with.
    template <typename MakeList>
    LONG Execute(const char* function, MakeList make_list) {
        nb::Variant list;
        if (!make_list(list) || !m_host.Call(function, list, "onNet")) return 0;
        m_host.PumpWhile([&] { return m_host.WorkersLive(); }, 1);
        return m_host.LastStatus();
    }

    BridgeHost m_host;
};

bool RunToEnd(const std::vector<std::string>& command, int output_fd = -1) {
    const pid_t pid = Spawn(command, output_fd);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The peak resident size of command on its own, measured by a fresh copy of
// this (still small) program: a child of this process would inherit its
// high-water mark.
ChildRun MeasurePeak(const std::vector<std::string>& command) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return {};
    std::vector<std::string> measured = {nb::ProgramPath(), "--peak"};
    measured.insert(measured.end(), command.begin(), command.end());
    const bool launched = RunToEnd(measured, pipe_ends[1]);
    close(pipe_ends[1]);
    char text[32] = {};
    const ssize_t got = read(pipe_ends[0], text, sizeof text - 1);
    close(pipe_ends[0]);
    return {launched && got > 0, got > 0 ? std::atol(text) : 0};
}

int RunMeasured(char** command) {
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(command[0], command);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return 1;
    std::printf("%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

std::vector<std::string> CurlDownload(const std::string& url, const std::string& file) {
    return {"curl", "-s", "-f", "-o", file, url};
}

std::vector<std::string> CurlUpload(const std::string& url, const std::string& file) {
    return {"curl",      "-s", "-f",      "-o", "/dev/null",
            "--http1.0", "-H", "Expect:", "-F", "file000=@" + file,
            url};
}

void PrintRow(const char* name, const Timing& timing) {
    const double megabytes = static_cast<double>(kTimedBytes) / static_cast<double>(kMegabyte);
    std::printf("%-36s %8.3f %8.3f %7.3f %9.0f %9.0f\n", name, timing.ours, timing.reference,
                timing.ours / timing.reference, megabytes / timing.ours,
                megabytes / timing.reference);
    const double work = timing.ours - kWorkerStartPauseSeconds;
    std::printf("%-36s %8.3f %8s %7.3f %9.0f\n", "  without the 100 ms start pause", work, "",
                work / timing.reference, megabytes / work);
}

bool PrintTimes(const std::string& folder, const LoopbackServer& server) {
    const std::string upload_file = folder + "/upload.bin";
    if (!MakeFile(upload_file, kTimedBytes)) return false;
    const std::string ours_file = folder + "/ours.bin", curl_file = folder + "/curl.bin";
    const std::string download_url = BodyUrl(server, kTimedBytes), upload_url = server.Url("/up");
    BridgeShell shell;
    const Timing download = BestOf(
        kRepeats, [&] { return shell.Download(download_url, ours_file); },
        [&] { return RunToEnd(CurlDownload(download_url, curl_file)); });
    if (SizeOf(ours_file) != kTimedBytes || SizeOf(curl_file) != kTimedBytes)
        std::printf("(a downloaded file has the wrong size)\n");
    const Timing upload = BestOf(
        kRepeats, [&] { return shell.Upload(upload_url, upload_file); },
        [&] { return RunToEnd(CurlUpload(upload_url, upload_file)); });
    std::printf("200 MB over loopback, best of %d runs each\n", kRepeats);
    std::printf("%-36s %8s %8s %7s %9s %9s\n", "", "ours s", "curl s", "ratio", "ours MB/s",
                "curl MB/s");
    PrintRow("EX_DownloadToFile vs curl -o", download);
    PrintRow("EX_UploadFiles vs curl -F", upload);
    for (const std::string& path : {upload_file, ours_file, curl_file})
        std::filesystem::remove(path);
    return true;
}

void PrintMemoryRow(const char* name, const ChildRun (&runs)[2]) {
    std::printf("%-36s %10ld %10ld %8.3f%s\n", name, runs[0].peak_kb, runs[1].peak_kb,
                static_cast<double>(runs[1].peak_kb) / static_cast<double>(runs[0].peak_kb),
                runs[0].ok && runs[1].ok ? "" : "  (a run failed)");
}

void PrintMemory(const std::string& folder, const LoopbackServer& server) {
    ChildRun download[2], curl_download[2], upload[2], curl_upload[2];
    const std::uint64_t downloads[2] = {kSmallDownload, kLargeDownload};
    const std::uint64_t uploads[2] = {kSmallUpload, kLargeUpload};
    const std::string out = folder + "/out.bin", file = folder + "/upload.bin";
    for (int index = 0; index < 2; ++index) {
        const std::string url = BodyUrl(server, downloads[index]);
        download[index] = MeasurePeak({nb::ProgramPath(), "--download", url, out});
        curl_download[index] = MeasurePeak(CurlDownload(url, out));
        if (!MakeFile(file, uploads[index])) return;
        upload[index] = MeasurePeak({nb::ProgramPath(), "--upload", server.Url("/up"), file});
        curl_upload[index] = MeasurePeak(CurlUpload(server.Url("/up"), file));
        for (const std::string& path : {out, file}) std::filesystem::remove(path);
    }
    std::printf("\npeak resident size of a process doing the transfer, kB\n");
    std::printf("%-36s %10s %10s %8s\n", "", "small", "large", "ratio");
    std::printf("%-36s %10s %10s\n", "  download body", "20 MB", "200 MB");
    PrintMemoryRow("EX_DownloadToFile, bridge", download);
    PrintMemoryRow("curl -o", curl_download);
    std::printf("%-36s %10s %10s\n", "  upload file", "50 MB", "500 MB");
    PrintMemoryRow("EX_UploadFiles, bridge", upload);
    PrintMemoryRow("curl -F", curl_upload);
}

int RunOnce(int argc, char** argv) {
    BridgeShell shell;
    if (argc == 4 && std::strcmp(argv[1], "--download") == 0)
        return shell.Download(argv[2], argv[3]) ? 0 : 1;
    if (argc == 4 && std::strcmp(argv[1], "--upload") == 0)
        return shell.Upload(argv[2], argv[3]) ? 0 : 1;
    std::fprintf(stderr, "usage: %s [--download url file | --upload url file]\n", argv[0]);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peak") == 0) return RunMeasured(argv + 2);
    NbSetApplicationDirectory(NB_BENCH_APP_DIR);
    // In memory where there is a file system there, so that the figures are
    // the transfers' and not the disk's (other work writing back its pages).
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "netbench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    // Downloads are staged in a cache on the same file system as their files,
    // as the user's cache and home usually are.
    const std::string cache = pattern + "/cache";
    NbSetUrlCacheDirectory(cache.c_str());
    int status = 0;
    if (argc > 1) {
        status = RunOnce(argc, argv);
    } else {
        LoopbackServer server(Serve);
        if (PrintTimes(pattern, server)) PrintMemory(pattern, server);
    }
    std::filesystem::remove_all(pattern);
    return status;
}
