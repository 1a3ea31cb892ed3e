// CProtocolHandler: answers one x-mrs request with a file of the "!" tree, a
// resource of a resource library, the output of the CGI interpreter, or a
// status page. See protocol_sink.h for the calling sequence.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "common/buffer.h"
#include "platform/resources/pe_resources.h"
#include "shell/server/cgi_environment.h"
#include "shell/server/cgi_process.h"
#include "shell/server/cookie_store.h"
#include "shell/server/protocol_sink.h"
#include "shell/server/url_parser.h"

namespace nb::server {

// ParseUrl actions and QueryInfo options the handler answers.
enum ParseAction : DWORD {
    PARSE_SECURITY_URL = 3,
    PARSE_PATH_FROM_URL = 9,
    PARSE_DOMAIN = 15,
    PARSE_SECURITY_DOMAIN = 17,
};
enum QueryOption : DWORD {
    QUERY_CAN_NAVIGATE = 7,
    QUERY_USES_NETWORK = 8,
    QUERY_IS_CACHED = 9,
    QUERY_IS_INSTALLEDENTRY = 10,
    QUERY_IS_CACHED_OR_MAPPED = 11,
    QUERY_USES_CACHE = 12,
    QUERY_IS_SECURE = 13,
    QUERY_IS_SAFE = 14,
};

struct ServerSettings {
    // The base directory of short-form URLs: the shell program's directory.
    std::u16string shell_directory;
    // The CGI interpreter. Always the one installed with the shell, never
    // one found under a base directory named by a URL.
    std::string interpreter;
    EnvironmentLookup environment;  // the shell's own environment
    CookieStore* cookies = nullptr;
};

// The directory of the running program, its internals/nimbra, the process
// environment and the shared cookie store.
ServerSettings DefaultServerSettings();

class CProtocolHandler {
   public:
    explicit CProtocolHandler(ServerSettings settings = DefaultServerSettings());
    // Runs Terminate when the browser side did not.
    ~CProtocolHandler();
    CProtocolHandler(const CProtocolHandler&) = delete;
    CProtocolHandler& operator=(const CProtocolHandler&) = delete;

    // The sink and bind information are kept (one reference each) until
    // Terminate. E_UNEXPECTED when one is missing, INET_E_REDIRECTING after
    // a CGI redirect, S_OK otherwise (failures are delivered as pages).
    HRESULT Start(LPCWSTR url, std::shared_ptr<ProtocolSink> sink,
                  std::shared_ptr<BindInfoSource> bind_info, DWORD flags, DWORD reserved);
    HRESULT Continue() { return S_OK; }
    // Stops CGI work and reports the reason (E_ABORT when it is no failure).
    HRESULT Abort(HRESULT reason, DWORD options);
    // Stops CGI work and releases everything the request holds.
    HRESULT Terminate(DWORD options);
    HRESULT Suspend() { return E_NOTIMPL; }
    HRESULT Resume() { return E_NOTIMPL; }
    // S_OK with bytes, E_PENDING while a CGI page is still writing, S_FALSE
    // with count 0 at the end (after reporting the result S_FALSE).
    HRESULT Read(void* destination, ULONG size, ULONG* count);
    HRESULT Seek() { return E_NOTIMPL; }
    HRESULT LockRequest(DWORD) { return S_OK; }
    HRESULT UnlockRequest() { return S_OK; }

    // result holds size characters; needed counts the terminating zero.
    HRESULT ParseUrl(LPCWSTR url, DWORD action, DWORD flags, LPWSTR result, DWORD size,
                     DWORD* needed);
    HRESULT CombineUrl() { return INET_E_DEFAULT_ACTION; }
    HRESULT CompareUrl(LPCWSTR first, LPCWSTR second, DWORD flags);
    // Answers options 7 to 14 with a 32-bit value in buffer (size in bytes).
    HRESULT QueryInfo(LPCWSTR url, DWORD option, DWORD flags, void* buffer, DWORD size,
                      DWORD* needed);

   private:
    struct Content {
        std::unique_ptr<PeResourceLibrary> library;  // null: the file
        ResourceEntry entry;
        // The file read, and whether it still is what the buffer holds.
        UniqueFd file;
        bool file_unchanged = false;
        // The cache file was opened before the bytes came, which went into it
        // as they went into the buffer.
        bool mirrored = false;
    };

    // Status pages and response headers.
    void StatusPage(DWORD status, std::u16string_view message);
    void StatusPageForCode(long status);
    void SendResponseHeaders(DWORD status, std::u16string_view content_type, std::uint32_t length);
    void ReportProgress(ULONG code, std::u16string_view text);

    // Files and resources. Nothing after a status page was delivered.
    std::optional<Content> LocateContent();
    void ServeContent(Content& content);
    bool WriteContent(Content& content, std::string& head);
    bool WriteFile(Content& content, std::string& head);
    bool WriteResource(Content& content, std::string& head);
    bool MirrorContent(Content& content);

    // CGI pages.
    HRESULT RunCgi();
    bool SendPostBody(CgiProcess& process);
    HRESULT ReadCgiHeaders(CgiProcess& process);
    void StartReader();
    void StopCgi();
    static void ReaderLoop(Buffer* buffer, std::shared_ptr<ProtocolSink> sink, int output,
                           int stop);

    ServerSettings m_settings;
    std::shared_ptr<ProtocolSink> m_sink;
    std::shared_ptr<BindInfoSource> m_bind_source;
    HttpNegotiate* m_negotiator = nullptr;
    DWORD m_bind_flags = 0;
    BindInfo m_bind_info;
    std::u16string m_url;
    std::optional<ParsedUrl> m_parts;
    std::optional<Buffer> m_buffer;

    std::unique_ptr<CgiProcess> m_process;
    UniqueFd m_stop_event;
    std::thread m_reader;
    long m_status = 200;
    std::optional<std::u16string> m_content_type;
    std::uint32_t m_content_length = 0;
};

}  // namespace nb::server
