// nbfetch [--post DATA] [-o FILE] URL
// Runs one x-mrs request through the local server as the browser would and
// prints every report, the status, the response header text and the body,
// so pages and CGI scripts can be debugged without the window.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/text/code_pages.h"
#include "shell/server/recording_sink.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: nbfetch [--post DATA] [-o FILE] URL\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace nb::server;
    std::optional<std::string> post;
    std::string output_file;
    std::string url;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--post" && i + 1 < argc) {
            post = argv[++i];
        } else if (arg == "-o" && i + 1 < argc) {
            output_file = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && url.empty()) {
            url = arg;
        } else {
            return Usage();
        }
    }
    if (url.empty()) return Usage();

    auto sink = std::make_shared<RecordingSink>();
    sink->on_report = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    std::shared_ptr<BindInfoSource> bind_info =
        post ? std::shared_ptr<BindInfoSource>(SimpleBindInfo::Post(*post))
             : std::make_shared<SimpleBindInfo>();

    CProtocolHandler handler;
    FetchResult result = FetchAll(handler, nb::ToUtf16(url), sink, bind_info);
    handler.Terminate(0);
    std::printf("start 0x%08X\n", static_cast<unsigned>(result.start_result));
    if (result.start_result == INET_E_REDIRECTING) {
        std::printf("redirect %s\n",
                    nb::ToUtf8(sink->ProgressText(BINDSTATUS_REDIRECTING)).c_str());
        return 0;
    }
    std::printf("body %zu bytes\n", result.body.size());
    if (!output_file.empty()) {
        std::ofstream out(output_file, std::ios::binary);
        out.write(result.body.data(), static_cast<std::streamsize>(result.body.size()));
        if (!out) {
            std::fprintf(stderr, "nbfetch: cannot write %s\n", output_file.c_str());
            return 1;
        }
    } else {
        std::printf("\n");
        std::fwrite(result.body.data(), 1, result.body.size(), stdout);
    }
    return result.start_result == S_OK ? 0 : 1;
}
