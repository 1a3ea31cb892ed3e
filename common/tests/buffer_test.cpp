#include "common/buffer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "common/tests/buffer_test_support.h"
#include "platform/text/code_pages.h"

namespace {

using nb::Buffer;
using nb::test::Pattern;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

Buffer MakeBuffer(std::uint32_t initial_size = 0) {
    std::optional<Buffer> buffer = Buffer::Create(initial_size);
    if (!buffer) std::abort();
    return std::move(*buffer);
}

HRESULT WriteText(Buffer& buffer, std::string_view text) {
    return buffer.Write(text.data(), text.size());
}

// Reads in pieces of the given size until the buffer has nothing more.
std::string ReadRest(Buffer& buffer, std::uint32_t piece = 1000) {
    std::string out;
    std::string chunk(piece, '\0');
    std::uint32_t count = 0;
    while (buffer.Read(chunk.data(), piece, &count) == S_OK) out.append(chunk.data(), count);
    return out;
}

std::string ReadOnce(Buffer& buffer, std::uint32_t size) {
    std::string chunk(size, '\0');
    std::uint32_t count = 0;
    EXPECT_EQ(buffer.Read(chunk.data(), size, &count), S_OK);
    chunk.resize(count);
    return chunk;
}

class BufferTest : public ::testing::Test {
   protected:
    nb::test::MessageBoxRecorder m_boxes;
};

TEST_F(BufferTest, CapacityIsTheNextStepStrictlyAboveTheRequest) {
    struct Case {
        std::uint64_t request;
        std::optional<std::uint32_t> capacity;
    };
    const Case cases[] = {{0, 65536},
                          {1, 65536},
                          {65535, 65536},
                          {65536, 131072},
                          {131071, 131072},
                          {0xFFFEFFFF, 0xFFFF0000},
                          {0xFFFF0000, std::nullopt},
                          {0x100000000, std::nullopt}};
    for (const Case& c : cases) EXPECT_EQ(Buffer::CapacityFor(c.request), c.capacity) << c.request;

    EXPECT_EQ(MakeBuffer(0).Capacity(), 65536u);
    EXPECT_EQ(MakeBuffer(65536).Capacity(), 131072u);
    EXPECT_TRUE(m_boxes.Shown().empty());
}

TEST_F(BufferTest, CreationBeyondThirtyTwoBitCapacitiesFailsWithTheAllocationBox) {
    EXPECT_FALSE(Buffer::Create(0xFFFF0000).has_value());
    ASSERT_EQ(m_boxes.Shown().size(), 1u);
    EXPECT_EQ(m_boxes.Shown()[0].text, u"Failed to CoTaskMemAlloc()");
    EXPECT_EQ(m_boxes.Shown()[0].caption, u"NB_MEM_OLEALLOC");
}

TEST_F(BufferTest, AFreshBufferIsEmptyAndPending) {
    Buffer buffer = MakeBuffer(100);
    EXPECT_EQ(buffer.Unread(), 0u);
    EXPECT_EQ(buffer.Total(), 0u);
    EXPECT_EQ(buffer.Expected(), 0u);
    EXPECT_TRUE(buffer.IsPending());
    EXPECT_FALSE(buffer.HasHeaderEnd());
    EXPECT_TRUE(buffer.CacheFileName().empty());
}

TEST_F(BufferTest, WritingBeyondTheCapacityGrowsToTheNextStep) {
    Buffer buffer = MakeBuffer();
    std::string data = Pattern(70000);
    ASSERT_EQ(WriteText(buffer, data), S_OK);
    EXPECT_EQ(buffer.Capacity(), 131072u);
    EXPECT_EQ(buffer.Unread(), 70000u);
    EXPECT_EQ(buffer.Total(), 70000u);
    buffer.MarkComplete();
    EXPECT_EQ(ReadRest(buffer), data);
}

TEST_F(BufferTest, CompactsBeforeGrowing) {
    Buffer buffer = MakeBuffer();
    std::string data = Pattern(90000);
    ASSERT_EQ(buffer.Write(data.data(), 60000), S_OK);
    EXPECT_EQ(ReadOnce(buffer, 30000), data.substr(0, 30000));
    ASSERT_EQ(buffer.Write(data.data() + 60000, 30000), S_OK);
    EXPECT_EQ(buffer.Capacity(), 65536u);
    buffer.MarkComplete();
    EXPECT_EQ(ReadRest(buffer), data.substr(30000));
}

TEST_F(BufferTest, ALongStreamReadWhileWrittenKeepsItsCapacity) {
    constexpr std::size_t kPiece = 4096;
    Buffer buffer = MakeBuffer();
    std::string data = Pattern(1 << 20);
    std::string delivered;
    for (std::size_t offset = 0; offset < data.size(); offset += kPiece) {
        ASSERT_EQ(buffer.Write(data.data() + offset, kPiece), S_OK);
        delivered += ReadOnce(buffer, kPiece);
    }
    EXPECT_EQ(buffer.Capacity(), 65536u);
    EXPECT_EQ(buffer.Total(), 1u << 20);
    EXPECT_TRUE(delivered == data);
}

TEST_F(BufferTest, AReaderThreadSeesEveryByteOfAProducerThreadInOrder) {
    Buffer buffer = MakeBuffer();
    std::string data = Pattern(1 << 20, 7);
    std::thread producer([&] {
        for (std::size_t offset = 0; offset < data.size(); offset += 4096)
            buffer.Write(data.data() + offset, 4096);
        buffer.MarkComplete();
    });
    std::string delivered;
    char chunk[3000];
    for (;;) {
        std::uint32_t count = 0;
        HRESULT result = buffer.Read(chunk, sizeof chunk, &count);
        if (result == E_PENDING) std::this_thread::yield();
        if (result == E_FAIL) break;
        delivered.append(chunk, count);
    }
    producer.join();
    EXPECT_TRUE(delivered == data);
}

TEST_F(BufferTest, EmptyBufferAnswersPendingWhileFilledAndFailAfterwards) {
    Buffer buffer = MakeBuffer();
    char out[8];
    std::uint32_t count = 99;
    EXPECT_EQ(buffer.Read(out, sizeof out, &count), E_PENDING);
    EXPECT_EQ(count, 0u);
    count = 99;
    EXPECT_EQ(buffer.ReadLineA(out, sizeof out, &count), E_PENDING);
    EXPECT_EQ(count, 0u);

    buffer.MarkComplete();
    count = 99;
    EXPECT_EQ(buffer.Read(out, sizeof out, &count), E_FAIL);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(buffer.ReadLineA(out, sizeof out, &count), E_FAIL);
    EXPECT_EQ(buffer.Read(out, sizeof out, nullptr), E_POINTER);
    EXPECT_EQ(buffer.ReadLineA(out, sizeof out, nullptr), E_POINTER);
}

TEST_F(BufferTest, WriteStringStoresUtf16CodeUnitsWithoutTerminator) {
    Buffer buffer = MakeBuffer();
    ASSERT_EQ(buffer.WriteString(u"Hi\u00e9"), S_OK);
    ASSERT_EQ(buffer.WriteString(u""), S_OK);
    EXPECT_EQ(buffer.Total(), 6u);
    buffer.MarkComplete();
    EXPECT_EQ(ReadRest(buffer), std::string("H\0i\0\xE9\0", 6));
}

TEST_F(BufferTest, UnreadBytesAreOnlyThoseNotYetTaken) {
    Buffer buffer = MakeBuffer();
    ASSERT_EQ(WriteText(buffer, "abcdef"), S_OK);
    EXPECT_EQ(ReadOnce(buffer, 4), "abcd");
    EXPECT_EQ(buffer.Unread(), 2u);
    EXPECT_EQ(buffer.Total(), 6u);
}

TEST_F(BufferTest, ResetForgetsDataButKeepsCapacityAndPendingFlag) {
    Buffer buffer = MakeBuffer();
    ASSERT_EQ(WriteText(buffer, Pattern(70000)), S_OK);
    ReadOnce(buffer, 10);
    buffer.SetExpected(70000);
    buffer.MarkComplete();

    buffer.Reset();
    EXPECT_EQ(buffer.Unread(), 0u);
    EXPECT_EQ(buffer.Total(), 0u);
    EXPECT_EQ(buffer.Expected(), 0u);
    EXPECT_EQ(buffer.Capacity(), 131072u);
    EXPECT_FALSE(buffer.IsPending());
    char out[4];
    std::uint32_t count = 0;
    EXPECT_EQ(buffer.Read(out, sizeof out, &count), E_FAIL);

    ASSERT_EQ(WriteText(buffer, "page"), S_OK);
    EXPECT_EQ(buffer.Total(), 4u);
    EXPECT_EQ(ReadRest(buffer), "page");
}

TEST_F(BufferTest, HasHeaderEndLooksOnlyAtUnreadBytes) {
    struct Case {
        std::string written;
        std::uint32_t read_first;
        bool expected;
    };
    const Case cases[] = {
        {"", 0, false},       {"Status: 200\r\n\r\n", 0, true}, {"a\r\n\r\nbody", 0, true},
        {"\r\n\r", 0, false}, {"a\n\n\r\r", 0, false},          {"\r\n\r\nabc", 1, false},
    };
    for (const Case& c : cases) {
        Buffer buffer = MakeBuffer();
        WriteText(buffer, c.written);
        if (c.read_first) ReadOnce(buffer, c.read_first);
        EXPECT_EQ(buffer.HasHeaderEnd(), c.expected) << c.written;
    }
}

TEST_F(BufferTest, ReadLineAReportsTheLengthOfALineThatDoesNotFit) {
    Buffer buffer = MakeBuffer();
    ASSERT_EQ(WriteText(buffer, "Status: 404\r\nrest"), S_OK);
    std::uint32_t length = 0;
    EXPECT_EQ(buffer.ReadLineA(nullptr, 0, &length), E_OUTOFMEMORY);
    EXPECT_EQ(length, 11u);
    char line[12];
    EXPECT_EQ(buffer.ReadLineA(line, 10, &length), E_OUTOFMEMORY);
    EXPECT_EQ(length, 11u);
    EXPECT_EQ(buffer.Unread(), 17u);

    line[11] = '#';
    EXPECT_EQ(buffer.ReadLineA(line, 11, &length), S_OK);
    EXPECT_EQ(length, 11u);
    EXPECT_EQ(std::string_view(line, 11), "Status: 404");
    EXPECT_EQ(line[11], '#') << "no terminator is written";
    EXPECT_EQ(buffer.Unread(), 4u);
}

TEST_F(BufferTest, ReadLineATakesLinesInOrderIncludingEmptyOnes) {
    Buffer buffer = MakeBuffer();
    ASSERT_EQ(WriteText(buffer, "A: 1\r\n\r\nbody"), S_OK);
    char line[16];
    std::uint32_t length = 99;
    EXPECT_EQ(buffer.ReadLineA(line, sizeof line, &length), S_OK);
    EXPECT_EQ(std::string_view(line, length), "A: 1");
    EXPECT_EQ(buffer.ReadLineA(line, sizeof line, &length), S_OK);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer.ReadLineA(line, 0, &length), E_FAIL) << "body has no line end";
    buffer.MarkComplete();
    EXPECT_EQ(ReadRest(buffer), "body");
}

TEST_F(BufferTest, ReadLineAFailsWithoutCrLfEvenWhilePending) {
    for (std::string_view text : {"abc", "abc\r", "abc\n", "a\nb\r", "\n\r"}) {
        Buffer buffer = MakeBuffer();
        WriteText(buffer, text);
        char line[16];
        std::uint32_t length = 99;
        EXPECT_EQ(buffer.ReadLineA(line, sizeof line, &length), E_FAIL) << text;
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(buffer.Unread(), text.size());
    }
}

TEST_F(BufferTest, ReadLineAFindsALineEndSplitAcrossWrites) {
    Buffer buffer = MakeBuffer();
    WriteText(buffer, "ab\r");
    char line[8];
    std::uint32_t length = 0;
    EXPECT_EQ(buffer.ReadLineA(line, sizeof line, &length), E_FAIL);
    WriteText(buffer, "\ncd");
    EXPECT_EQ(buffer.ReadLineA(line, sizeof line, &length), S_OK);
    EXPECT_EQ(std::string_view(line, length), "ab");
}

struct PrefixCase {
    const char* content_type;
    std::string data;
    std::uint32_t first_read;
    std::string expected_first;
};

// After the first read a second write follows, and the rest of the stream
// must be the remaining data without any mark.
TEST_F(BufferTest, Utf8PrefixGoesInFrontOfTheDataOnce) {
    const std::string bom(kByteOrderMark);
    const PrefixCase cases[] = {
        {"text/html; charset=UTF-8", "abc", 10, bom + "abc"},
        {"text/html; charset=utf-8", "abc", 10, bom + "abc"},
        {"text/html; charset=Utf-8", "abc", 10, "abc"},
        {"text/html", "abc", 10, "abc"},
        {"text/html; charset=UTF-8", bom + "abc", 10, bom + "abc"},
        {"text/html; charset=UTF-8", "abcdef", 4, bom + "a"},
        {"text/html; charset=UTF-8", "abcdef", 3, bom},
        {"text/html; charset=UTF-8", "abcdef", 2, "ab"},
        {"text/html; charset=UTF-8", "ab", 10, "ab"},
    };
    for (const PrefixCase& c : cases) {
        for (bool wide : {false, true}) {
            SCOPED_TRACE(std::string(c.content_type) + " / " + c.data + (wide ? " wide" : ""));
            Buffer buffer = MakeBuffer();
            if (wide)
                buffer.SetUtf8Prefix(std::u16string_view(nb::ToUtf16(c.content_type)));
            else
                buffer.SetUtf8Prefix(std::string_view(c.content_type));
            WriteText(buffer, c.data);
            std::string first = ReadOnce(buffer, c.first_read);
            EXPECT_EQ(first, c.expected_first);

            std::size_t data_taken =
                first.size() -
                (first.starts_with(kByteOrderMark) && !c.data.starts_with(kByteOrderMark) ? 3 : 0);
            WriteText(buffer, "xyz");
            buffer.MarkComplete();
            EXPECT_EQ(ReadRest(buffer), c.data.substr(data_taken) + "xyz");
        }
    }
}

TEST_F(BufferTest, ResetKeepsAPrefixNotYetDelivered) {
    Buffer buffer = MakeBuffer();
    buffer.SetUtf8Prefix(std::string_view("charset=utf-8"));
    WriteText(buffer, "old");
    buffer.Reset();
    WriteText(buffer, "new");
    EXPECT_EQ(ReadOnce(buffer, 10), std::string(kByteOrderMark) + "new");
}

// The CGI reader takes the header lines, then compacts so the body starts
// the data: the mark goes in front of the body, not of the header lines.
TEST_F(BufferTest, CompactAfterHeaderLinesPutsThePrefixBeforeTheBody) {
    Buffer buffer = MakeBuffer();
    WriteText(buffer, "Content-Type: text/html; charset=utf-8\r\n\r\n<p>");
    char line[64];
    std::uint32_t length = 0;
    ASSERT_EQ(buffer.ReadLineA(line, sizeof line, &length), S_OK);
    buffer.SetUtf8Prefix(std::string_view(line, length));
    ASSERT_EQ(buffer.ReadLineA(line, sizeof line, &length), S_OK);
    ASSERT_EQ(length, 0u);

    buffer.Compact();
    buffer.SetTotal(buffer.Unread());
    EXPECT_EQ(buffer.Total(), 3u);
    EXPECT_EQ(buffer.Capacity(), 65536u);
    EXPECT_EQ(ReadOnce(buffer, 64), std::string(kByteOrderMark) + "<p>");
}

TEST_F(BufferTest, WriteFromFileAppendsAWholeFileInChunks) {
    nb::test::TemporaryDirectory directory;
    std::string path = directory.Path() + "/page.bin";
    std::string data = Pattern(3 * Buffer::kFileChunkSize + 123);
    nb::test::WriteFileBytes(path, data);

    Buffer buffer = MakeBuffer();
    WriteText(buffer, "<");
    ASSERT_EQ(buffer.WriteFromFile(nb::ToUtf16(path).c_str()), S_OK);
    EXPECT_EQ(buffer.Total(), data.size() + 1);
    buffer.MarkComplete();
    EXPECT_TRUE(ReadRest(buffer) == "<" + data);
}

TEST_F(BufferTest, WriteFromFileFailsForWhatCannotBeOpenedOrRead) {
    nb::test::TemporaryDirectory directory;
    const std::string paths[] = {directory.Path() + "/missing.html", directory.Path()};
    for (const std::string& path : paths) {
        Buffer buffer = MakeBuffer();
        EXPECT_EQ(buffer.WriteFromFile(nb::ToUtf16(path).c_str()), E_FAIL) << path;
        EXPECT_EQ(buffer.Unread(), 0u);
    }
    Buffer buffer = MakeBuffer();
    EXPECT_EQ(buffer.WriteFromFile(nullptr), E_FAIL);
}

TEST_F(BufferTest, AMovedFromBufferShowsTheSanityBoxAndStoresNothing) {
    Buffer original = MakeBuffer();
    WriteText(original, "kept\r\n");
    Buffer moved(std::move(original));

    char out[8];
    std::uint32_t count = 99;
    EXPECT_EQ(WriteText(original, "lost"), S_OK);
    EXPECT_EQ(original.Read(out, sizeof out, &count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(original.ReadLineA(out, sizeof out, &count), S_OK);
    EXPECT_EQ(original.WriteFromFile(u"/etc/hostname"), S_OK);
    ASSERT_EQ(m_boxes.Shown().size(), 4u);
    for (const nb::test::ShownBox& box : m_boxes.Shown()) {
        EXPECT_EQ(box.text, u"Sanity check failed!\n\nBuffer is not allocated!");
        EXPECT_EQ(box.caption, u"BUFFER_SANITY_CHECK");
    }
    EXPECT_EQ(original.Unread(), 0u);

    EXPECT_EQ(moved.ReadLineA(out, sizeof out, &count), S_OK);
    EXPECT_EQ(std::string_view(out, count), "kept");
}

// Sizes whose capacity would not fit in 32 bits must not wrap around.
TEST_F(BufferTest, AnEnlargementThatCannotBeMadeKeepsTheContents) {
    const std::uint64_t counts[] = {0xFFFFFFFFull, 0xFFFF0000ull - 9, 1ull << 33};
    for (std::uint64_t count : counts) {
        m_boxes.Clear();
        Buffer buffer = MakeBuffer();
        WriteText(buffer, "0123456789");
        char source[16] = {};
        EXPECT_EQ(buffer.Write(source, count), E_OUTOFMEMORY) << count;
        ASSERT_EQ(m_boxes.Shown().size(), 1u);
        EXPECT_EQ(m_boxes.Shown()[0].text, u"Failed to CoTaskMemRealloc()");
        EXPECT_EQ(m_boxes.Shown()[0].caption, u"NB_MEM_OLEREALLOC");
        EXPECT_EQ(buffer.Capacity(), 65536u);
        EXPECT_EQ(buffer.Total(), 10u);
        buffer.MarkComplete();
        EXPECT_EQ(ReadRest(buffer), "0123456789");
    }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define NB_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NB_SANITIZED 1
#endif
#endif

#ifndef NB_SANITIZED
std::size_t MappedBytes() {
    unsigned long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Runs in a child process: limits the address space so that growing the
// storage really fails, and answers 0 when the buffer kept its contents.
int WriteBeyondTheAddressSpaceLimit(const nb::test::MessageBoxRecorder& boxes) {
    Buffer buffer = MakeBuffer();
    WriteText(buffer, "0123456789");
    std::string source(64 << 20, 'x');
    rlimit limit{MappedBytes() + (16 << 20), RLIM_INFINITY};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) return 2;
    bool failed = buffer.Write(source.data(), source.size()) == E_OUTOFMEMORY;
    bool boxed = boxes.Shown().size() == 1 && boxes.Shown()[0].caption == u"NB_MEM_OLEREALLOC";
    bool kept = buffer.Capacity() == 65536 && buffer.Unread() == 10;
    buffer.MarkComplete();
    kept = kept && ReadRest(buffer) == "0123456789";
    return failed && boxed && kept ? 0 : 1;
}
#endif

TEST_F(BufferTest, AFailedReallocationKeepsTheContents) {
#ifdef NB_SANITIZED
    GTEST_SKIP() << "sanitizers reserve address space beyond any useful limit";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(WriteBeyondTheAddressSpaceLimit(m_boxes)), ::testing::ExitedWithCode(0),
                "");
#endif
}

}  // namespace
