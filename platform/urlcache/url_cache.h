// The URL cache: local copies of responses, each a data file in the cache
// directory plus an entry that records its URL, expiry, last-modified time
// and response header text.
//
// Layout of the cache directory (platform-specific; Windows keeps its own
// cache): data files "<random>.<extension>" at the top, one entry file per
// URL in "entries/", named after a 64-bit hash of the URL and replaced
// atomically (temporary file and rename) on every commit.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/wintypes.h"

constexpr DWORD NORMAL_CACHE_ENTRY = 0x00000001;

// Creates a new, empty data file in the cache directory (made when missing)
// and writes its full path, zero-terminated, to file_name, which must hold
// nb::kUrlCacheFileNameCapacity characters. The extension follows a "."; null
// or empty means none. Fails for an extension holding "/" and for a path that
// would not fit. The expected size is accepted and not used.
NB_API BOOL CreateUrlCacheEntryW(LPCWSTR url, DWORD expected_size, LPCWSTR extension,
                                 LPWSTR file_name, DWORD reserved);

// Records the entry for url, replacing an earlier one (whose data file is
// removed when it is another file). The local file must be an existing file
// of the cache directory. The header text is header_length characters long.
// Fails for a missing URL or file, or a file elsewhere.
NB_API BOOL CommitUrlCacheEntryW(LPCWSTR url, LPCWSTR local_file_name, FILETIME expire_time,
                                 FILETIME last_modified_time, DWORD entry_type, LPCWSTR header_info,
                                 DWORD header_length, LPCWSTR file_extension, LPCWSTR original_url);

// Removes the entry for url and its data file; FALSE when there is none.
NB_API BOOL DeleteUrlCacheEntryW(LPCWSTR url);

// Points the cache at another directory (tests use a temporary one). Null or
// empty restores the default: $XDG_CACHE_HOME/nimbra/urlcache when that
// variable holds an absolute path, else $HOME/.cache/nimbra/urlcache.
NB_API void NbSetUrlCacheDirectory(const char* path);

namespace nb {

// Characters of the file name buffer of CreateUrlCacheEntryW, terminator included.
constexpr DWORD kUrlCacheFileNameCapacity = 261;

struct UrlCacheEntry {
    std::u16string url;
    std::u16string local_file;
    FILETIME expire_time{};
    FILETIME last_modified_time{};
    DWORD entry_type = 0;
    std::u16string header_info;
    std::u16string file_extension;
};

// The committed entry for url, or nothing when there is none (an unreadable
// entry file counts as none).
NB_EXPORT std::optional<UrlCacheEntry> FindUrlCacheEntry(std::u16string_view url);

}  // namespace nb
