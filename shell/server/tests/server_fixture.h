// A throw-away application directory for the server's tests: a "!" tree of
// real files, resource libraries built with the mingw binutils, the real
// CGI interpreter, a private URL cache and cookie store.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "shell/server/protocol_handler.h"
#include "shell/server/recording_sink.h"

namespace nb::server::testing {

class ServerTest : public ::testing::Test {
   protected:
    void SetUp() override;
    void TearDown() override;

    // Writes base/!/<relative> (directories made as needed).
    void WritePage(const std::string& relative, const std::string& bytes);
    enum class PeFormat { Pe64, Pe32 };
    // Builds base/<library>.dll holding each page as an RT_HTML resource.
    void BuildLibrary(const std::string& library, const std::map<std::string, std::string>& pages,
                      PeFormat format = PeFormat::Pe64);

    ServerSettings Settings();
    // x-mrs://<base>/!/<relative>
    std::u16string Url(const std::string& relative) const;

    struct Response {
        FetchResult fetch;
        std::shared_ptr<RecordingSink> sink;
    };
    // One request from Start to the last Read, then Terminate.
    Response Fetch(const std::u16string& url, std::shared_ptr<BindInfoSource> bind_info = nullptr);

    std::string m_base;
    std::string m_scratch;
    CookieStore m_cookies;
};

// The UTF-16LE bytes of a status page with this message.
std::string StatusPageBytes(std::u16string_view message);

}  // namespace nb::server::testing
