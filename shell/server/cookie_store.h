// The cookies of the application's pages. All x-mrs pages share one web
// identity, so the store keeps one set of cookies per URL (in practice only
// the application's cookie URL). Safe to use from any thread.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace nb::server {

class CookieStore {
   public:
    // The store the server uses for every request of this process.
    static CookieStore& Shared();

    // Stores "name=value[; attributes]". An "expires" date in the past or a
    // "max-age" of 0 or less removes the cookie. False for text without a
    // name.
    bool Set(std::u16string_view url, std::u16string_view cookie);
    // "a=1; b=2" in the order first set, or nothing when none is stored.
    std::optional<std::u16string> Get(std::u16string_view url) const;
    void Clear();

   private:
    struct Cookie {
        std::u16string value;
        unsigned long order;
    };
    mutable std::mutex m_lock;
    std::map<std::u16string, std::map<std::u16string, Cookie>> m_cookies;
    unsigned long m_next_order = 0;
};

// "http://" + application host + "/".
std::u16string CookieUrl();

}  // namespace nb::server
