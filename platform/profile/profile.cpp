#include "platform/profile/profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/fd_io.h"
#include "platform/profile/ini_document.h"
#include "platform/text/code_pages.h"

namespace {

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;
constexpr std::string_view kUtf16ByteOrderMark = "\xFF\xFE";
// The value GetPrivateProfileIntW reads, as the system reads it.
constexpr DWORD kIntegerBufferSize = 30;
// mkostemp's random characters.
constexpr std::size_t kTemporarySuffixLength = 6;

enum class Encoding { kUtf8, kUtf16 };

struct FileText {
    bool exists = false;
    Encoding encoding = Encoding::kUtf8;
    std::string utf8;  // the whole text, as UTF-8
    struct stat status {};
};

// The whole file, or nothing when it exists but cannot be read.
std::optional<FileText> ReadFileText(const std::string& path) {
    FileText file;
    nb::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return file;
        return std::nullopt;
    }
    if (::fstat(fd.Get(), &file.status) != 0 || !S_ISREG(file.status.st_mode)) return std::nullopt;
    file.exists = true;
    std::string bytes;
    char chunk[16384];
    for (;;) {
        const nb::ReadResult read = nb::ReadFully(fd.Get(), chunk, sizeof chunk);
        if (read.failed) return std::nullopt;
        bytes.append(chunk, read.bytes);
        if (read.bytes < sizeof chunk) break;
    }
    if (bytes.starts_with(kUtf16ByteOrderMark)) {
        file.encoding = Encoding::kUtf16;
        std::u16string wide((bytes.size() - 2) / 2, u'\0');
        for (std::size_t i = 0; i < wide.size(); ++i)
            wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                            (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        file.utf8 = nb::ToUtf8(wide);
    } else {
        file.utf8 = std::move(bytes);
    }
    return file;
}

std::string EncodeFileText(const std::string& utf8, Encoding encoding) {
    if (encoding == Encoding::kUtf8) return utf8;
    std::u16string wide = nb::ToUtf16(utf8);
    std::string bytes(kUtf16ByteOrderMark);
    for (char16_t c : wide) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::string PathOf(LPCWSTR file_name) { return nb::ToUtf8(file_name); }

nb::IniDocument LoadDocument(LPCWSTR file_name) {
    std::optional<FileText> file = ReadFileText(PathOf(file_name));
    return nb::IniDocument::Parse(file ? file->utf8 : std::string());
}

// The mode a new file gets: what open(2) with 0666 would give.
mode_t NewFileMode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("Umask:"))
            return 0666 & ~static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 0644;
}

// The name of the file a write stages its text in, before the six random
// characters mkostemp adds: ".<name>." beside the file.
std::string TemporaryPrefix(const std::string& path, const std::string& directory) {
    return "." + path.substr(directory.size() + 1) + ".";
}

// A writer that died between making its temporary file and the rename left
// that file behind. Writers keep the folder's lock while theirs exists, so
// under the lock every file of the pattern is abandoned, and goes.
void RemoveAbandonedTemporaries(const std::string& path, const std::string& directory,
                                int directory_fd) {
    const std::string prefix = TemporaryPrefix(path, directory);
    const int listing_fd = ::fcntl(directory_fd, F_DUPFD_CLOEXEC, 0);
    DIR* folder = listing_fd >= 0 ? ::fdopendir(listing_fd) : nullptr;
    if (!folder) {
        if (listing_fd >= 0) ::close(listing_fd);
        return;
    }
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name.size() == prefix.size() + kTemporarySuffixLength && name.starts_with(prefix))
            ::unlinkat(directory_fd, entry->d_name, 0);  // a folder of that name stays
    }
    ::closedir(folder);
}

// Writes bytes to a new file beside path and renames it over path, keeping
// the old file's mode and, where allowed, its owner. The new file's bytes
// reach the disk before the rename, so after a crash the name holds the old
// or the new text, never a torn or empty file. The folder is not synced: a
// crash may forget the newest write, and each write costs one flush less
// (measured here: about 10 ms a write instead of 16).
bool ReplaceFile(const std::string& path, const std::string& directory, const FileText& old_file,
                 std::string_view bytes) {
    std::string temp = directory + "/" + TemporaryPrefix(path, directory) + "XXXXXX";
    int raw_fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (raw_fd < 0) return false;
    nb::UniqueFd fd(raw_fd);
    mode_t mode = old_file.exists ? (old_file.status.st_mode & 07777) : NewFileMode();
    bool ok =
        ::fchmod(fd.Get(), mode) == 0 && nb::WriteFully(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
    if (ok && old_file.exists) {
        // Only root may give a file away; anyone else keeps the file as theirs.
        [[maybe_unused]] int ignored =
            ::fchown(fd.Get(), old_file.status.st_uid, old_file.status.st_gid);
    }
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// The file a write replaces: the target of a symbolic link, so the link stays.
std::string WriteTarget(const std::string& path) {
    struct stat link_status {};
    if (::lstat(path.c_str(), &link_status) == 0 && S_ISLNK(link_status.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved)) return resolved;
        // A dangling link: write where it points.
        std::string target(PATH_MAX, '\0');
        ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length > 0) {
            target.resize(static_cast<std::size_t>(length));
            if (target.front() == '/') return target;
            std::size_t slash = path.rfind('/');
            return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                   target;
        }
    }
    return path;
}

BOOL EditFile(LPCWSTR file_name, nb::IniDocument::EditResult (*edit)(nb::IniDocument&, const void*),
              const void* context) {
    std::string path = WriteTarget(PathOf(file_name));
    if (path.empty() || path.back() == '/') return kFalse;
    std::size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    if (slash == 0) directory = "";
    if (slash == std::string::npos) path = "./" + path;
    nb::UniqueFd directory_fd(
        ::open(directory.empty() ? "/" : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory_fd.Get() < 0) return kFalse;
    // Serialises writers in this folder, across threads and processes; the
    // lock goes with the descriptor.
    while (::flock(directory_fd.Get(), LOCK_EX) != 0)
        if (errno != EINTR) return kFalse;

    RemoveAbandonedTemporaries(path, directory, directory_fd.Get());
    std::optional<FileText> file = ReadFileText(path);
    if (!file) return kFalse;
    nb::IniDocument document = nb::IniDocument::Parse(file->utf8);
    switch (edit(document, context)) {
        case nb::IniDocument::EditResult::kRejected:
            return kFalse;
        case nb::IniDocument::EditResult::kUnchanged:
            return kTrue;
        case nb::IniDocument::EditResult::kChanged:
            break;
    }
    std::string bytes = EncodeFileText(document.Serialize(), file->encoding);
    return ReplaceFile(path, directory, *file, bytes) ? kTrue : kFalse;
}

// Copies names as a list: each zero-terminated, then one more zero.
DWORD CopyList(const std::vector<std::u16string>& names, LPWSTR buffer, DWORD size) {
    if (size < 2) {
        buffer[0] = u'\0';
        return 0;
    }
    std::u16string list;
    for (const std::u16string& name : names) list.append(name).push_back(u'\0');
    if (list.size() + 1 > size) {
        list.resize(size - 2);
        list.push_back(u'\0');
        list.copy(buffer, list.size());
        buffer[size - 1] = u'\0';
        return size - 2;
    }
    list.copy(buffer, list.size());
    buffer[list.size()] = u'\0';
    return static_cast<DWORD>(list.size());
}

DWORD CopyText(std::u16string_view text, LPWSTR buffer, DWORD size) {
    std::size_t count = std::min<std::size_t>(text.size(), size - 1);
    text.copy(buffer, count);
    buffer[count] = u'\0';
    return static_cast<DWORD>(count);
}

UINT ParseInteger(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' ||
                               text[i] == u'\n' || text[i] == u'\f' || text[i] == u'\v'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == u'0') {
        char16_t prefix = text[i + 1];
        if (prefix == u'x' || prefix == u'X') base = 16;
        if (prefix == u'o' || prefix == u'O') base = 8;
        if (prefix == u'b' || prefix == u'B') base = 2;
        if (base != 10) i += 2;
    }
    UINT value = 0;
    for (; i < text.size(); ++i) {
        char16_t c = text[i];
        unsigned digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

}  // namespace

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR default_value, LPWSTR buffer,
                               DWORD size, LPCWSTR file_name) {
    if (!buffer || size == 0) return 0;
    if (!file_name) {
        buffer[0] = u'\0';
        return 0;
    }
    if (!section) return CopyList(LoadDocument(file_name).SectionNames(), buffer, size);
    if (!key) return CopyList(LoadDocument(file_name).KeyNames(section), buffer, size);
    std::optional<FileText> file = ReadFileText(PathOf(file_name));
    if (std::optional<std::u16string> value =
            nb::IniDocument::Find(file ? file->utf8 : std::string(), section, key))
        return CopyText(*value, buffer, size);
    std::u16string_view fallback = default_value ? default_value : u"";
    while (!fallback.empty() && fallback.back() == u' ') fallback.remove_suffix(1);
    return CopyText(fallback, buffer, size);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT default_value, LPCWSTR file_name) {
    char16_t buffer[kIntegerBufferSize];
    if (!section || !key ||
        GetPrivateProfileStringW(section, key, u"", buffer, kIntegerBufferSize, file_name) == 0)
        return static_cast<UINT>(default_value);
    return ParseInteger(buffer);
}

BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR file_name) {
    if (!section) return !key && !value ? kTrue : kFalse;
    if (!file_name || !file_name[0]) return kFalse;
    struct Request {
        LPCWSTR section;
        LPCWSTR key;
        LPCWSTR value;
    } request{section, key, value};
    return EditFile(
        file_name,
        [](nb::IniDocument& document, const void* context) {
            const auto& r = *static_cast<const Request*>(context);
            if (!r.key) return document.DeleteSection(r.section);
            if (!r.value) return document.DeleteKey(r.section, r.key);
            return document.Set(r.section, r.key, r.value);
        },
        &request);
}
