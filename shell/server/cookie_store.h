// The cookies of the application's pages. All x-mrs pages share one web
// identity, so the store keeps one set of cookies per URL (in practice only
// the application's cookie URL). Safe to use from any thread.
//
// Session cookies live as long as the process. A cookie with a future
// "expires" date or a positive "max-age" is persistent: a store given a
// registry key keeps those in the user's registry, so they survive the
// program, until they expire.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nb::server {

// A persistent cookie as it is saved.
struct SavedCookie {
    std::int64_t expires = 0;  // seconds since 1970, UTC
    std::u16string url;
    std::u16string name;
    std::u16string value;
};

// One line per cookie: expires, url, name and value separated by tabs
// (none of them may hold a tab or a line break, which the store refuses).
std::u16string SaveCookieText(const std::vector<SavedCookie>& cookies);
// The cookies of saved text; damaged lines are skipped.
std::vector<SavedCookie> ReadCookieText(std::u16string_view text);

class CookieStore {
   public:
    // A store of this process only.
    CookieStore() = default;
    // A store whose persistent cookies are kept under this key of
    // HKEY_CURRENT_USER (read now, written at every change of them).
    explicit CookieStore(std::u16string registry_key);

    // The store the server uses for every request of this process.
    static CookieStore& Shared();

    // Stores "name=value[; attributes]". An "expires" date in the past or a
    // "max-age" of 0 or less removes the cookie. False for text without a
    // name, or with control characters in its name or value.
    bool Set(std::u16string_view url, std::u16string_view cookie);
    // "a=1; b=2" in the order first set, or nothing when none is stored.
    std::optional<std::u16string> Get(std::u16string_view url) const;
    void Clear();

   private:
    struct Cookie {
        std::u16string value;
        unsigned long order;
        std::int64_t expires;  // 0: a session cookie
    };
    void Save() const;

    std::u16string m_registry_key;
    mutable std::mutex m_lock;
    std::map<std::u16string, std::map<std::u16string, Cookie>> m_cookies;
    unsigned long m_next_order = 0;
};

// "http://" + application host + "/".
std::u16string CookieUrl();

}  // namespace nb::server
