#include "common/mime.h"

#include <cstring>
#include <span>
#include <string_view>

#include "common/task_memory.h"

namespace nb {

namespace {

struct MimeRow {
    std::u16string_view key;
    std::u16string_view content_type;
};

// Order matters: the first row whose key starts the extension wins.
constexpr MimeRow kMimeTable[] = {
    {u"php", u"text/html"},
    {u"GIF", u"image/gif"},
    {u"CSS", u"text/css"},
    {u"JS", u"application/x-javascript"},
    {u"HTML", u"text/html"},
    {u"JPG", u"image/jpeg"},
    {u"HTM", u"text/html"},
    {u"ICO", u"image/x-icon"},
    {u"PNG", u"image/png"},
    {u"JPEG", u"image/jpeg"},
    {u"SWF", u"application/x-shockwave-flash"},
    {u"TXT", u"text/plain"},
    {u"NBX", u"text/plain"},
    {u"BMP", u"image/bmp"},
    {u"RTF", u"text/richtext"},
    {u"AIF", u"audio/aiff"},
    {u"WAV", u"audio/wav"},
    {u"DOC", u"application/msword"},
    {u"PDF", u"application/pdf"},
    {u"ASF", u"application/vnd.ms-asf"},
    {u"XLS", u"application/vnd.ms-excel"},
    {u"PPT", u"application/vnd.ms-powerpoint"},
    {u"ZIP", u"application/zip"},
    {u"RAR", u"application/rar"},
    {u"MP3", u"audio/mpeg"},
    {u"XML", u"text/xml"},
    {u"AVI", u"video/avi"},
    {u"MPG", u"video/mpeg"},
    {u"MPEG", u"video/mpeg"},
    {u"QT", u"video/quicktime"},
};

// The "php" row serves only the local server, which runs such pages.
constexpr std::span<const MimeRow> kServerRows{kMimeTable};
constexpr std::span<const MimeRow> kLibraryRows = kServerRows.subspan(1);
constexpr std::u16string_view kDefaultType = u"application/octet-stream";

constexpr char16_t FoldCase(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

constexpr bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view key) {
    if (text.size() < key.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i)
        if (FoldCase(text[i]) != FoldCase(key[i])) return false;
    return true;
}

constexpr std::u16string_view Lookup(std::u16string_view extension, std::span<const MimeRow> rows) {
    for (const MimeRow& row : rows)
        if (StartsWithIgnoringCase(extension, row.key)) return row.content_type;
    return kDefaultType;
}

// The scan for the dot starts one before the last character.
constexpr std::u16string_view ExtensionOf(std::u16string_view name) {
    for (std::size_t end = name.size(); end >= 2; --end)
        if (name[end - 2] == u'.') return name.substr(end - 1);
    return {};
}

static_assert(Lookup(u"jsp", kServerRows) == u"application/x-javascript");
static_assert(ExtensionOf(u"a.b.") == u"b.");
static_assert(ExtensionOf(u"name.") == u"");

}  // namespace

LPWSTR MimeTypeForExtension(LPCWSTR extension) {
    std::u16string_view type = Lookup(extension ? extension : u"", kServerRows);
    std::size_t bytes = (type.size() + 1) * sizeof(char16_t);
    LPWSTR copy = nullptr;
    if (!NB_MEM_OLEALLOC(copy, bytes)) return nullptr;
    std::memcpy(copy, type.data(), bytes);
    return copy;
}

LPCWSTR MimeTypeForFileName(LPCWSTR file_name) {
    std::u16string_view extension = ExtensionOf(file_name ? file_name : u"");
    return Lookup(extension, kLibraryRows).data();
}

}  // namespace nb
