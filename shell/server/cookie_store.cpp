#include "shell/server/cookie_store.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/registry_key.h"
#include "platform/text/code_pages.h"
#include "shell/server/url_parser.h"

namespace nb::server {
namespace {

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
    return text;
}

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// What an attribute says of the cookie's life: nothing, or the time it
// expires (at or before now: remove it now).
std::optional<std::int64_t> AttributeExpiry(std::u16string_view attribute) {
    std::size_t equals = attribute.find(u'=');
    if (equals == std::u16string_view::npos) return std::nullopt;
    std::u16string_view name = Trim(attribute.substr(0, equals));
    std::string value = nb::ToUtf8(Trim(attribute.substr(equals + 1)));
    if (name.size() == 7 && StartsWithNoCase(name, u"max-age")) {
        try {
            const long long seconds = std::stoll(value);
            // Far-future ages are kept at a century instead of overflowing.
            return seconds <= 0 ? 0 : Now() + std::min<long long>(seconds, 100LL * 366 * 86400);
        } catch (...) {
            return std::nullopt;
        }
    }
    if (name.size() == 7 && StartsWithNoCase(name, u"expires")) {
        std::tm when{};
        // The format of Set-Cookie dates: "Wdy, DD Mon YYYY HH:MM:SS GMT".
        if (strptime(value.c_str(), "%a, %d %b %Y %H:%M:%S", &when) == nullptr) return std::nullopt;
        return static_cast<std::int64_t>(timegm(&when));
    }
    return std::nullopt;
}

// Tabs and line breaks would break the saved form; no cookie needs them.
bool HasControlCharacter(std::u16string_view text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

constexpr char16_t kSavedValueName[] = u"Persistent";

}  // namespace

std::u16string SaveCookieText(const std::vector<SavedCookie>& cookies) {
    std::u16string text;
    for (const SavedCookie& cookie : cookies) {
        text += nb::ToUtf16(std::to_string(cookie.expires));
        text += u'\t' + cookie.url + u'\t' + cookie.name + u'\t' + cookie.value + u'\n';
    }
    return text;
}

std::vector<SavedCookie> ReadCookieText(std::u16string_view text) {
    std::vector<SavedCookie> cookies;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(u'\n'), text.size());
        std::u16string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        std::u16string_view fields[4];
        std::size_t count = 0;
        for (; count < 4; ++count) {
            const std::size_t tab = count < 3 ? line.find(u'\t') : line.size();
            if (tab == std::u16string_view::npos) break;
            fields[count] = line.substr(0, tab);
            line.remove_prefix(std::min(tab + 1, line.size()));
        }
        if (count != 4 || fields[0].empty() || fields[0].size() > 18 || fields[2].empty()) continue;
        std::int64_t expires = 0;
        bool digits = true;
        for (char16_t c : fields[0]) {
            digits = digits && c >= u'0' && c <= u'9';
            expires = expires * 10 + (c - u'0');
        }
        if (!digits) continue;
        cookies.push_back({expires, std::u16string(fields[1]), std::u16string(fields[2]),
                           std::u16string(fields[3])});
    }
    return cookies;
}

CookieStore::CookieStore(std::u16string registry_key) : m_registry_key(std::move(registry_key)) {
    nb::UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, m_registry_key.c_str(), 0, KEY_READ, key.Put()) !=
        ERROR_SUCCESS)
        return;
    DWORD size = 0;
    std::u16string text;
    if (RegQueryValueExW(key.Get(), kSavedValueName, nullptr, nullptr, nullptr, &size) ==
        ERROR_SUCCESS) {
        text.resize(size / sizeof(char16_t));
        if (RegQueryValueExW(key.Get(), kSavedValueName, nullptr, nullptr,
                             reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
            text.clear();
    }
    key.Reset();
    const std::int64_t now = Now();
    for (SavedCookie& saved : ReadCookieText(text))
        if (saved.expires > now)
            m_cookies[saved.url].try_emplace(
                saved.name, Cookie{std::move(saved.value), m_next_order++, saved.expires});
}

CookieStore& CookieStore::Shared() {
    static CookieStore store(u"Software\\Nimbra\\NbBrowser\\Cookies");
    return store;
}

bool CookieStore::Set(std::u16string_view url, std::u16string_view cookie) {
    std::size_t semicolon = cookie.find(u';');
    std::u16string_view pair = Trim(cookie.substr(0, semicolon));
    std::size_t equals = pair.find(u'=');
    std::u16string_view name = Trim(pair.substr(0, equals));
    if (name.empty()) return false;
    std::u16string_view value =
        equals == std::u16string_view::npos ? u"" : Trim(pair.substr(equals + 1));
    if (HasControlCharacter(name) || HasControlCharacter(value) || HasControlCharacter(url))
        return false;

    // Max-Age wins over Expires, whichever comes first.
    std::optional<std::int64_t> max_age;
    std::optional<std::int64_t> expires;
    while (semicolon != std::u16string_view::npos) {
        cookie.remove_prefix(semicolon + 1);
        semicolon = cookie.find(u';');
        const std::u16string_view attribute = Trim(cookie.substr(0, semicolon));
        const std::optional<std::int64_t> expiry = AttributeExpiry(attribute);
        if (expiry) (StartsWithNoCase(attribute, u"max-age") ? max_age : expires) = expiry;
    }
    const std::optional<std::int64_t> expiry = max_age ? max_age : expires;
    const bool remove = expiry && *expiry <= Now();

    std::lock_guard guard(m_lock);
    auto& cookies = m_cookies[std::u16string(url)];
    auto it = cookies.find(std::u16string(name));
    const bool was_persistent = it != cookies.end() && it->second.expires != 0;
    if (remove) {
        if (it != cookies.end()) cookies.erase(it);
    } else if (it == cookies.end()) {
        cookies.emplace(std::u16string(name),
                        Cookie{std::u16string(value), m_next_order++, expiry.value_or(0)});
    } else {
        it->second.value = value;
        it->second.expires = expiry.value_or(0);
    }
    if (was_persistent || (!remove && expiry)) Save();
    return true;
}

std::optional<std::u16string> CookieStore::Get(std::u16string_view url) const {
    std::lock_guard guard(m_lock);
    auto found = m_cookies.find(std::u16string(url));
    if (found == m_cookies.end()) return std::nullopt;
    const std::int64_t now = Now();
    std::vector<std::pair<unsigned long, std::u16string>> ordered;
    for (const auto& [name, cookie] : found->second)
        if (cookie.expires == 0 || cookie.expires > now)
            ordered.emplace_back(cookie.order, name + u"=" + cookie.value);
    if (ordered.empty()) return std::nullopt;
    std::sort(ordered.begin(), ordered.end());
    std::u16string text;
    for (const auto& entry : ordered) {
        if (!text.empty()) text += u"; ";
        text += entry.second;
    }
    return text;
}

void CookieStore::Clear() {
    std::lock_guard guard(m_lock);
    m_cookies.clear();
}

// Called with the lock held. A store that cannot be written keeps its
// cookies for this process.
void CookieStore::Save() const {
    if (m_registry_key.empty()) return;
    std::vector<std::pair<unsigned long, SavedCookie>> ordered;
    const std::int64_t now = Now();
    for (const auto& [url, cookies] : m_cookies)
        for (const auto& [name, cookie] : cookies)
            if (cookie.expires > now)
                ordered.push_back({cookie.order, {cookie.expires, url, name, cookie.value}});
    std::sort(ordered.begin(), ordered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SavedCookie> saved;
    for (auto& entry : ordered) saved.push_back(std::move(entry.second));
    const std::u16string text = SaveCookieText(saved);
    nb::UniqueKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, m_registry_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key.Get(), kSavedValueName, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

std::u16string CookieUrl() { return u"http://" + std::u16string(kApplicationHost) + u"/"; }

}  // namespace nb::server
