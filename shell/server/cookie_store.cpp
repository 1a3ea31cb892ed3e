#include "shell/server/cookie_store.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "platform/text/code_pages.h"
#include "shell/server/url_parser.h"

namespace nb::server {
namespace {

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
    return text;
}

// True when an attribute asks for the cookie to be removed now.
bool AttributeExpires(std::u16string_view attribute) {
    std::size_t equals = attribute.find(u'=');
    if (equals == std::u16string_view::npos) return false;
    std::u16string_view name = Trim(attribute.substr(0, equals));
    std::string value = nb::ToUtf8(Trim(attribute.substr(equals + 1)));
    if (name.size() == 7 && StartsWithNoCase(name, u"max-age")) {
        try {
            return std::stol(value) <= 0;
        } catch (...) {
            return false;
        }
    }
    if (name.size() == 7 && StartsWithNoCase(name, u"expires")) {
        std::tm when{};
        // The format of Set-Cookie dates: "Wdy, DD Mon YYYY HH:MM:SS GMT".
        if (strptime(value.c_str(), "%a, %d %b %Y %H:%M:%S", &when) == nullptr) return false;
        return timegm(&when) <= std::time(nullptr);
    }
    return false;
}

}  // namespace

CookieStore& CookieStore::Shared() {
    static CookieStore store;
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

    bool remove = false;
    while (semicolon != std::u16string_view::npos) {
        cookie.remove_prefix(semicolon + 1);
        semicolon = cookie.find(u';');
        remove = remove || AttributeExpires(cookie.substr(0, semicolon));
    }

    std::lock_guard guard(m_lock);
    auto& cookies = m_cookies[std::u16string(url)];
    if (remove) {
        cookies.erase(std::u16string(name));
        return true;
    }
    auto [it, inserted] =
        cookies.try_emplace(std::u16string(name), Cookie{std::u16string(value), m_next_order});
    if (inserted) {
        ++m_next_order;
    } else {
        it->second.value = value;
    }
    return true;
}

std::optional<std::u16string> CookieStore::Get(std::u16string_view url) const {
    std::lock_guard guard(m_lock);
    auto found = m_cookies.find(std::u16string(url));
    if (found == m_cookies.end() || found->second.empty()) return std::nullopt;
    std::vector<std::pair<unsigned long, std::u16string>> ordered;
    for (const auto& [name, cookie] : found->second)
        ordered.emplace_back(cookie.order, name + u"=" + cookie.value);
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

std::u16string CookieUrl() { return u"http://" + std::u16string(kApplicationHost) + u"/"; }

}  // namespace nb::server
