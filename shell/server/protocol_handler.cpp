#include "shell/server/protocol_handler.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/kernel/program_paths.h"
#include "platform/text/code_pages.h"
#include "platform/urlcache/url_cache.h"
#include "shell/server/status_pages.h"

namespace nb::server {
namespace {

// Copies text and its terminator into result when it fits.
HRESULT CopyAnswer(std::u16string_view text, LPWSTR result, DWORD size, DWORD* needed,
                   HRESULT too_small) {
    DWORD required = static_cast<DWORD>(text.size() + 1);
    if (needed) *needed = required;
    if (!result || size < required) return too_small;
    std::memcpy(result, text.data(), text.size() * sizeof(char16_t));
    result[text.size()] = u'\0';
    return S_OK;
}

}  // namespace

ServerSettings DefaultServerSettings() {
    ServerSettings settings;
    settings.shell_directory = nb::ToUtf16(nb::ProgramDirectory());
    settings.interpreter = nb::ToUtf8(settings.shell_directory) + "/internals/nimbra";
    settings.environment = [](const char* name) -> const char* { return std::getenv(name); };
    settings.cookies = &CookieStore::Shared();
    return settings;
}

CProtocolHandler::CProtocolHandler(ServerSettings settings) : m_settings(std::move(settings)) {
    if (!m_settings.environment)
        m_settings.environment = [](const char*) -> const char* { return nullptr; };
    if (!m_settings.cookies) m_settings.cookies = &CookieStore::Shared();
}

CProtocolHandler::~CProtocolHandler() { Terminate(0); }

void CProtocolHandler::ReportProgress(ULONG code, std::u16string_view text) {
    if (m_sink) m_sink->ReportProgress(code, text);
}

HRESULT CProtocolHandler::Start(LPCWSTR url, std::shared_ptr<ProtocolSink> sink,
                                std::shared_ptr<BindInfoSource> bind_info, DWORD, DWORD) {
    if (!url || !sink || !bind_info) return E_UNEXPECTED;
    m_url = url;
    m_sink = std::move(sink);
    m_bind_source = std::move(bind_info);
    m_negotiator = m_sink->Negotiator();

    m_bind_info = BindInfo{};
    if (FAILED(m_bind_source->GetBindInfo(&m_bind_flags, &m_bind_info))) {
        StatusPage(400, messages::kBindInfoFailed);
        return S_OK;
    }
    ReportProgress(BINDSTATUS_FINDINGRESOURCE, m_url);

    m_parts = nb::server::ParseUrl(m_url, m_settings.shell_directory);
    if (!m_parts) {
        StatusPage(400, messages::kBadUrl);
        return S_OK;
    }
    ReportProgress(BINDSTATUS_CONNECTING, m_parts->library_path);

    std::optional<Content> content = LocateContent();
    if (!content) return S_OK;
    ReportProgress(BINDSTATUS_SENDINGREQUEST, m_parts->resource_name);

    if (IsCgiExtension(m_parts->extension)) {
        // The interpreter reads the script itself; the library is not needed.
        content.reset();
        return RunCgi();
    }
    ServeContent(*content);
    return S_OK;
}

HRESULT CProtocolHandler::Read(void* destination, ULONG size, ULONG* count) {
    if (count) *count = 0;
    if (!m_buffer) {
        if (m_sink) m_sink->ReportResult(S_FALSE, 0, u"");
        return S_FALSE;
    }
    if (m_buffer->Unread() > 0) {
        std::uint32_t taken = 0;
        HRESULT hr = m_buffer->Read(destination, size, &taken);
        if (count) *count = taken;
        return hr == E_PENDING ? E_PENDING : S_OK;
    }
    if (m_buffer->IsPending()) return E_PENDING;
    if (m_sink) m_sink->ReportResult(S_FALSE, 0, u"");
    return S_FALSE;
}

HRESULT CProtocolHandler::Abort(HRESULT reason, DWORD) {
    StopCgi();
    if (m_sink) m_sink->ReportResult(FAILED(reason) ? reason : E_ABORT, 0, u"");
    return S_OK;
}

HRESULT CProtocolHandler::Terminate(DWORD) {
    StopCgi();
    m_parts.reset();
    // Destroying the buffer commits its cache entry.
    m_buffer.reset();
    m_negotiator = nullptr;
    m_sink.reset();
    m_bind_source.reset();
    m_bind_info = BindInfo{};
    return S_OK;
}

HRESULT CProtocolHandler::ParseUrl(LPCWSTR url, DWORD action, DWORD, LPWSTR result, DWORD size,
                                   DWORD* needed) {
    if (action == PARSE_DOMAIN || action < 1 || action > 17) return INET_E_INVALID_URL;
    if (action == PARSE_SECURITY_DOMAIN)
        return CopyAnswer(kApplicationHost, result, size, needed, S_FALSE);
    if (action != PARSE_SECURITY_URL && action != PARSE_PATH_FROM_URL) return INET_E_DEFAULT_ACTION;

    std::optional<ParsedUrl> parts =
        url ? nb::server::ParseUrl(url, m_settings.shell_directory) : std::nullopt;
    if (!parts) return INET_E_INVALID_URL;
    if (action == PARSE_SECURITY_URL) {
        // The base directory without its leading "/", where Windows drops "C:/".
        std::u16string_view base = parts->base_directory;
        if (!base.empty() && base[0] == u'/') base.remove_prefix(1);
        std::u16string security = u"http://" + std::u16string(kApplicationHost) + u"/" +
                                  std::u16string(base) + u"/index.html";
        return CopyAnswer(security, result, size, needed, S_FALSE);
    }
    if (IsCgiExtension(parts->extension)) return INET_E_DEFAULT_ACTION;
    std::optional<UrlCacheEntry> entry = FindUrlCacheEntry(url);
    if (!entry) return INET_E_DEFAULT_ACTION;
    HRESULT hr = CopyAnswer(entry->local_file, result, size, needed, INET_E_DEFAULT_ACTION);
    if (needed) *needed = static_cast<DWORD>(entry->local_file.size());
    return hr;
}

HRESULT CProtocolHandler::CompareUrl(LPCWSTR first, LPCWSTR second, DWORD) {
    if (!first || !second) return S_FALSE;
    return std::u16string_view(first) == std::u16string_view(second) ? S_OK : S_FALSE;
}

HRESULT CProtocolHandler::QueryInfo(LPCWSTR url, DWORD option, DWORD, void* buffer, DWORD size,
                                    DWORD* needed) {
    if (option < QUERY_CAN_NAVIGATE || option > QUERY_IS_SAFE) return INET_E_DEFAULT_ACTION;
    if (needed) *needed = sizeof(DWORD);
    if (!buffer || size < sizeof(DWORD)) return S_FALSE;

    auto cacheable = [&]() -> std::optional<ParsedUrl> {
        std::optional<ParsedUrl> parts =
            url ? nb::server::ParseUrl(url, m_settings.shell_directory) : std::nullopt;
        if (parts && IsCgiExtension(parts->extension)) return std::nullopt;
        return parts;
    };
    DWORD answer = 0;
    switch (option) {
        case QUERY_CAN_NAVIGATE:
            answer = 1;
            break;
        case QUERY_USES_CACHE:
            answer = cacheable() ? 1 : 0;
            break;
        // 1 when the cache holds the page: the sense the browser side asks for.
        case QUERY_IS_CACHED:
            answer = (cacheable() && FindUrlCacheEntry(url)) ? 1 : 0;
            break;
        default:
            answer = 0;
            break;
    }
    std::memcpy(buffer, &answer, sizeof answer);
    return S_OK;
}

}  // namespace nb::server
