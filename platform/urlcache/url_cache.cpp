#include "platform/urlcache/url_cache.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/kernel/fd_io.h"
#include "platform/text/code_pages.h"

namespace {

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;
constexpr std::string_view kEntryMagic = "NBURLCACHE 1\n";
constexpr std::string_view kEntriesFolder = "/entries";

// Guards the directory override and keeps commits and deletions of this
// process from interleaving.
std::mutex g_lock;
std::string g_directory_override;

std::string Utf8Of(LPCWSTR text) { return text ? nb::ToUtf8(text) : std::string(); }

std::string DefaultDirectory() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/nimbra/urlcache";
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') return std::string(home) + "/.cache/nimbra/urlcache";
    return {};
}

std::string CacheDirectory() {
    std::lock_guard lock(g_lock);
    return g_directory_override.empty() ? DefaultDirectory() : g_directory_override;
}

bool EnsureDirectory(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return !error && std::filesystem::is_directory(path, error);
}

// FNV-1a: stable across runs and builds, which std::hash does not promise.
std::uint64_t HashOf(std::string_view text) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

std::string EntryPath(const std::string& directory, std::string_view url) {
    char name[32];
    std::snprintf(name, sizeof name, "/%016llx.entry",
                  static_cast<unsigned long long>(HashOf(url)));
    return directory + std::string(kEntriesFolder) + name;
}

std::uint64_t ToInteger(FILETIME time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(std::uint64_t value) {
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

void AppendField(std::string& out, std::string_view name, std::string_view value) {
    out.append(name).append(" ").append(std::to_string(value.size())).append("\n");
    out.append(value).append("\n");
}

std::string Serialize(const nb::UrlCacheEntry& entry) {
    std::string out(kEntryMagic);
    AppendField(out, "url", nb::ToUtf8(entry.url));
    AppendField(out, "file", nb::ToUtf8(entry.local_file));
    AppendField(out, "expires", std::to_string(ToInteger(entry.expire_time)));
    AppendField(out, "modified", std::to_string(ToInteger(entry.last_modified_time)));
    AppendField(out, "type", std::to_string(entry.entry_type));
    AppendField(out, "headers", nb::ToUtf8(entry.header_info));
    AppendField(out, "extension", nb::ToUtf8(entry.file_extension));
    return out;
}

template <typename Integer>
std::optional<Integer> ParseDecimal(std::string_view digits) {
    Integer value{};
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// Reads the fields back in the order Serialize wrote them; any deviation
// makes the whole entry unreadable.
class EntryParser {
   public:
    explicit EntryParser(std::string_view text) : m_text(text) {
        m_ok = m_text.starts_with(kEntryMagic);
        m_text.remove_prefix(m_ok ? kEntryMagic.size() : 0);
    }

    std::u16string Text(std::string_view name) { return nb::ToUtf16(Field(name)); }

    template <typename Integer>
    Integer Number(std::string_view name) {
        std::optional<Integer> value = ParseDecimal<Integer>(Field(name));
        m_ok = m_ok && value.has_value();
        return value.value_or(0);
    }

    bool Ok() const { return m_ok && m_text.empty(); }

   private:
    // "<name> <length>\n<length bytes>\n"
    std::string_view Field(std::string_view name) {
        std::optional<std::size_t> length = FieldLength(name);
        if (!length || m_text.size() <= *length || m_text[*length] != '\n') {
            m_ok = false;
            return {};
        }
        std::string_view value = m_text.substr(0, *length);
        m_text.remove_prefix(*length + 1);
        return value;
    }

    // Takes the line "<name> <length>" and answers the length.
    std::optional<std::size_t> FieldLength(std::string_view name) {
        std::size_t line_end = m_text.find('\n');
        if (!m_ok || line_end == std::string_view::npos) return std::nullopt;
        std::string_view line = m_text.substr(0, line_end);
        if (!line.starts_with(name) || line.substr(name.size(), 1) != " ") return std::nullopt;
        m_text.remove_prefix(line_end + 1);
        return ParseDecimal<std::size_t>(line.substr(name.size() + 1));
    }

    std::string_view m_text;
    bool m_ok = false;
};

std::optional<nb::UrlCacheEntry> Parse(std::string_view text) {
    EntryParser parser(text);
    nb::UrlCacheEntry entry;
    entry.url = parser.Text("url");
    entry.local_file = parser.Text("file");
    entry.expire_time = ToFileTime(parser.Number<std::uint64_t>("expires"));
    entry.last_modified_time = ToFileTime(parser.Number<std::uint64_t>("modified"));
    entry.entry_type = parser.Number<DWORD>("type");
    entry.header_info = parser.Text("headers");
    entry.file_extension = parser.Text("extension");
    if (!parser.Ok()) return std::nullopt;
    return entry;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text{std::istreambuf_iterator<char>(file), {}};
    if (file.bad()) return std::nullopt;
    return text;
}

std::optional<nb::UrlCacheEntry> FindIn(const std::string& directory, std::string_view url) {
    std::optional<std::string> text = ReadWholeFile(EntryPath(directory, url));
    if (!text) return std::nullopt;
    std::optional<nb::UrlCacheEntry> entry = Parse(*text);
    // A hash collision leaves another URL's entry under this name.
    if (!entry || nb::ToUtf8(entry->url) != url) return std::nullopt;
    return entry;
}

// Readers see either the old entry or the new one, never a partial file.
bool ReplaceAtomically(const std::string& path, std::string_view contents) {
    std::string temporary = path.substr(0, path.rfind('/')) + "/.entry-XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool written = nb::WriteFully(fd, contents);
    bool closed = ::close(fd) == 0;
    if (written && closed) {
        // Swapped in rather than renamed over the old entry: ext4 flushes a
        // file renamed over another first, which took milliseconds a commit.
        // An entry cut by a crash reads as none, which a cache can afford.
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) ==
            0) {
            ::unlink(temporary.c_str());
            return true;
        }
        if (::rename(temporary.c_str(), path.c_str()) == 0) return true;
    }
    ::unlink(temporary.c_str());
    return false;
}

// Entries only name files of the cache itself, so deleting or replacing an
// entry can never remove anything else.
bool IsCacheFile(const std::string& directory, const std::string& path) {
    struct stat status {};
    std::filesystem::path file(path);
    return file.parent_path().lexically_normal() ==
               std::filesystem::path(directory).lexically_normal() &&
           ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

NB_API BOOL CreateUrlCacheEntryW(LPCWSTR url, DWORD, LPCWSTR extension, LPWSTR file_name, DWORD) {
    std::string directory = CacheDirectory();
    std::string suffix = Utf8Of(extension);
    if (!url || !file_name || directory.empty() || suffix.find('/') != std::string::npos)
        return kFalse;
    if (!suffix.empty()) suffix.insert(0, ".");
    if (!EnsureDirectory(directory)) return kFalse;

    std::string path = directory + "/XXXXXX" + suffix;
    int fd = ::mkostemps(path.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) return kFalse;
    ::close(fd);
    std::u16string wide_path = nb::ToUtf16(path);
    if (wide_path.size() >= nb::kUrlCacheFileNameCapacity) {
        ::unlink(path.c_str());
        return kFalse;
    }
    wide_path.copy(file_name, wide_path.size());
    file_name[wide_path.size()] = u'\0';
    return kTrue;
}

NB_API BOOL CommitUrlCacheEntryW(LPCWSTR url, LPCWSTR local_file_name, FILETIME expire_time,
                                 FILETIME last_modified_time, DWORD entry_type, LPCWSTR header_info,
                                 DWORD header_length, LPCWSTR file_extension, LPCWSTR) {
    std::string directory = CacheDirectory();
    if (!url || !url[0] || !local_file_name || directory.empty()) return kFalse;
    if (!IsCacheFile(directory, Utf8Of(local_file_name))) return kFalse;

    nb::UrlCacheEntry entry;
    entry.url = url;
    entry.local_file = local_file_name;
    entry.expire_time = expire_time;
    entry.last_modified_time = last_modified_time;
    entry.entry_type = entry_type;
    if (header_info) entry.header_info.assign(header_info, header_length);
    if (file_extension) entry.file_extension = file_extension;

    std::lock_guard lock(g_lock);
    std::string url_text = nb::ToUtf8(entry.url);
    if (!EnsureDirectory(directory + std::string(kEntriesFolder))) return kFalse;
    std::optional<nb::UrlCacheEntry> previous = FindIn(directory, url_text);
    if (!ReplaceAtomically(EntryPath(directory, url_text), Serialize(entry))) return kFalse;
    if (previous && previous->local_file != entry.local_file)
        ::unlink(nb::ToUtf8(previous->local_file).c_str());
    return kTrue;
}

NB_API BOOL DeleteUrlCacheEntryW(LPCWSTR url) {
    std::string directory = CacheDirectory();
    if (!url || directory.empty()) return kFalse;
    std::string url_text = nb::ToUtf8(url);
    std::lock_guard lock(g_lock);
    std::optional<nb::UrlCacheEntry> entry = FindIn(directory, url_text);
    if (!entry || ::unlink(EntryPath(directory, url_text).c_str()) != 0) return kFalse;
    ::unlink(nb::ToUtf8(entry->local_file).c_str());
    return kTrue;
}

NB_API void NbSetUrlCacheDirectory(const char* path) {
    std::lock_guard lock(g_lock);
    g_directory_override = path ? path : "";
}

namespace nb {

std::optional<UrlCacheEntry> FindUrlCacheEntry(std::u16string_view url) {
    std::string directory = CacheDirectory();
    if (directory.empty()) return std::nullopt;
    std::lock_guard lock(g_lock);
    return FindIn(directory, nb::ToUtf8(url));
}

}  // namespace nb
