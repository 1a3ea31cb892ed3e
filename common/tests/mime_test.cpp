#include "common/mime.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/automation/com.h"
#include "platform/text/code_pages.h"

namespace {

struct TaskMemoryFree {
    void operator()(LPWSTR text) const { CoTaskMemFree(text); }
};

std::u16string ServerType(LPCWSTR extension) {
    std::unique_ptr<char16_t, TaskMemoryFree> type(nb::MimeTypeForExtension(extension));
    return type ? std::u16string(type.get()) : u"<null>";
}

struct MimeCase {
    const char16_t* extension;
    const char16_t* content_type;
};

// Every row once, the prefix rule, case folding and misses. Both forms agree
// on all of these; only "php" differs.
const MimeCase kCases[] = {
    {u"gif", u"image/gif"},
    {u"css", u"text/css"},
    {u"js", u"application/x-javascript"},
    {u"jsp", u"application/x-javascript"},
    {u"html", u"text/html"},
    {u"Html", u"text/html"},
    {u"html5", u"text/html"},
    {u"jpg", u"image/jpeg"},
    {u"htm", u"text/html"},
    {u"ico", u"image/x-icon"},
    {u"PNG", u"image/png"},
    {u"jpeg", u"image/jpeg"},
    {u"swf", u"application/x-shockwave-flash"},
    {u"txt", u"text/plain"},
    {u"nbx", u"text/plain"},
    {u"bmp", u"image/bmp"},
    {u"rtf", u"text/richtext"},
    {u"aiff", u"audio/aiff"},
    {u"wav", u"audio/wav"},
    {u"docx", u"application/msword"},
    {u"pdf", u"application/pdf"},
    {u"asf", u"application/vnd.ms-asf"},
    {u"xlsx", u"application/vnd.ms-excel"},
    {u"ppt", u"application/vnd.ms-powerpoint"},
    {u"zip", u"application/zip"},
    {u"rar", u"application/rar"},
    {u"mp3", u"audio/mpeg"},
    {u"xml", u"text/xml"},
    {u"avi", u"video/avi"},
    {u"mpg", u"video/mpeg"},
    {u"mpeg", u"video/mpeg"},
    {u"mpe", u"application/octet-stream"},
    {u"qt", u"video/quicktime"},
    {u"qtx", u"video/quicktime"},
    {u"exe", u"application/octet-stream"},
    {u"j", u"application/octet-stream"},
    {u"gi", u"application/octet-stream"},
    {u"xjs", u"application/octet-stream"},
    {u"\u00e9js", u"application/octet-stream"},
};

TEST(MimeTable, ServerFormMapsAnExtensionToATaskMemoryCopy) {
    for (const MimeCase& c : kCases)
        EXPECT_EQ(ServerType(c.extension), c.content_type) << nb::ToUtf8(c.extension);
    EXPECT_EQ(ServerType(u"php"), u"text/html");
    EXPECT_EQ(ServerType(u"PHP5"), u"text/html");
    EXPECT_EQ(ServerType(u""), u"application/octet-stream");
    EXPECT_EQ(ServerType(nullptr), u"application/octet-stream");
}

TEST(MimeTable, LibraryFormUsesTheTextAfterTheLastDotOfAName) {
    for (const MimeCase& c : kCases) {
        std::u16string name = u"C/songs.v2/tone." + std::u16string(c.extension);
        EXPECT_EQ(std::u16string_view(nb::MimeTypeForFileName(name.c_str())), c.content_type)
            << nb::ToUtf8(name);
    }
}

TEST(MimeTable, LibraryFormHasNoPhpRowAndNeedsAnExtension) {
    struct NameCase {
        const char16_t* name;
        const char16_t* content_type;
    };
    const NameCase cases[] = {
        {u"index.php", u"application/octet-stream"},
        {u"/photos/HOLIDAY.JPG", u"image/jpeg"},
        {u".png", u"image/png"},
        {u"archive.tar.gz", u"application/octet-stream"},
        {u"page.html.", u"text/html"},
        {u"noextension", u"application/octet-stream"},
        {u"trailing.", u"application/octet-stream"},
        {u"dir.gif/file", u"image/gif"},
        {u".", u"application/octet-stream"},
        {u"", u"application/octet-stream"},
        {nullptr, u"application/octet-stream"},
    };
    for (const NameCase& c : cases) {
        LPCWSTR name = c.name ? c.name : u"(null)";
        EXPECT_EQ(std::u16string_view(nb::MimeTypeForFileName(c.name)), c.content_type)
            << nb::ToUtf8(name);
    }
}

}  // namespace
