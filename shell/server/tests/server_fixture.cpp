#include "shell/server/tests/server_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"
#include "shell/server/status_pages.h"

namespace nb::server::testing {

namespace fs = std::filesystem;

void ServerTest::SetUp() {
    char pattern[] = "/tmp/nb_server_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    m_scratch = pattern;
    m_base = m_scratch + "/app";
    fs::create_directories(m_base + "/!");
    NbSetUrlCacheDirectory((m_scratch + "/cache").c_str());
}

void ServerTest::TearDown() {
    NbSetUrlCacheDirectory(nullptr);
    std::error_code ignored;
    fs::remove_all(m_scratch, ignored);
}

void ServerTest::WritePage(const std::string& relative, const std::string& bytes) {
    fs::path path = m_base + "/!/" + relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void ServerTest::BuildLibrary(const std::string& library,
                              const std::map<std::string, std::string>& pages, PeFormat format) {
    std::string work = m_scratch + "/rc_" + library;
    fs::create_directories(work);
    std::ofstream rc(work + "/r.rc");
    int index = 0;
    for (const auto& [name, bytes] : pages) {
        std::string file = "p" + std::to_string(index++) + ".bin";
        std::ofstream(work + "/" + file, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        rc << '"' << name << "\" 23 " << file << "\n";
    }
    rc.close();
    const bool pe32 = format == PeFormat::Pe32;
    std::string command = "cd '" + work + "' && " + (pe32 ? NB_WINDRES_32 : NB_WINDRES) +
                          " --preprocessor=cpp --preprocessor-arg=-xc r.rc -O coff -o r.o && " +
                          (pe32 ? NB_LD_32 : NB_LD) + " -shared --entry=0 -o '" + m_base + "/" +
                          library + ".dll' r.o";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

ServerSettings ServerTest::Settings() {
    ServerSettings settings;
    settings.shell_directory = nb::ToUtf16(m_base);
    settings.interpreter = NB_NIMBRA;
    settings.environment = [](const char* name) -> const char* { return std::getenv(name); };
    settings.cookies = &m_cookies;
    return settings;
}

std::u16string ServerTest::Url(const std::string& relative) const {
    return nb::ToUtf16("x-mrs://" + m_base + "/!/" + relative);
}

ServerTest::Response ServerTest::Fetch(const std::u16string& url,
                                       std::shared_ptr<BindInfoSource> bind_info) {
    Response response;
    response.sink = std::make_shared<RecordingSink>();
    if (!bind_info) bind_info = std::make_shared<SimpleBindInfo>();
    CProtocolHandler handler(Settings());
    response.fetch = FetchAll(handler, url, response.sink, bind_info);
    handler.Terminate(0);
    return response;
}

std::string StatusPageBytes(std::u16string_view message) {
    std::u16string page = StatusPageText(message);
    std::string bytes;
    for (char16_t unit : page) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

}  // namespace nb::server::testing
