// Drives one response buffer with a sequence of writes, line reads, reads,
// resets and compactions taken from the input, and checks every answer
// against a plain string model of the unread bytes: bytes come out in order,
// none is lost or repeated, and no line holds CR LF.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/buffer.h"
#include "platform/ui/message_box.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kModelLimit = 256 << 10;
constexpr std::size_t kBulkTextSize = 256 * 512;
// Room for the longest line the model can hold, and for every read size.
constexpr std::size_t kScratchSize = kModelLimit + 1;

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

class Input {
   public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_position >= m_size; }
    std::uint8_t Byte() { return Empty() ? 0 : m_data[m_position++]; }
    std::string_view Bytes(std::size_t count) {
        count = std::min(count, m_size - m_position);
        std::string_view bytes(reinterpret_cast<const char*>(m_data) + m_position, count);
        m_position += count;
        return bytes;
    }

   private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

// What the buffer must hold and answer, kept the simplest possible way.
// Taken bytes stay in front of the unread ones until a write drops them,
// so taking a few bytes does not move the whole rest.
class Model {
   public:
    std::string_view Unread() const { return std::string_view(m_bytes).substr(m_front); }
    void Take(std::size_t count) { m_front += count; }
    void Append(std::string_view bytes) {
        m_bytes.erase(0, m_front);
        m_front = 0;
        m_bytes.append(bytes);
    }
    void Clear() {
        m_bytes.clear();
        m_front = 0;
    }

    bool taken = false;
    bool prefix = false;
    bool pending = true;
    std::uint32_t total = 0;

   private:
    std::string m_bytes;
    std::size_t m_front = 0;
};

// Long text with line ends at irregular places, to cross growth and
// compaction boundaries. Made once: each bulk write takes a slice of it.
std::string_view BulkText(std::size_t size, std::uint8_t offset) {
    static const std::string text = [] {
        std::string bytes(kBulkTextSize + 256, 'a');
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
            unsigned code = static_cast<unsigned>((i * 7 + i / 97) % 53);
            bytes[i] = code < 3 ? "\r\n\r"[code] : static_cast<char>('a' + code % 26);
            if (code == 0) bytes[++i] = '\n';
        }
        return bytes;
    }();
    return std::string_view(text).substr(offset, std::min(size, kBulkTextSize));
}

// One destination for every read, so a read costs no allocation.
char* Scratch() {
    static std::vector<char> scratch(kScratchSize);
    return scratch.data();
}

HRESULT EmptyAnswer(const Model& model) { return model.pending ? E_PENDING : E_FAIL; }

void Write(nb::Buffer& buffer, Model& model, std::string_view bytes) {
    if (model.Unread().size() + bytes.size() > kModelLimit) return;
    FUZZ_CHECK(buffer.Write(bytes.data(), bytes.size()) == S_OK);
    model.Append(bytes);
    model.total += static_cast<std::uint32_t>(bytes.size());
}

void Read(nb::Buffer& buffer, Model& model, std::uint32_t size) {
    char* out = Scratch();
    std::uint32_t count = 12345;
    HRESULT result = buffer.Read(out, size, &count);
    std::string_view unread = model.Unread();
    if (unread.empty()) {
        FUZZ_CHECK(result == EmptyAnswer(model) && count == 0);
        return;
    }
    FUZZ_CHECK(result == S_OK);
    std::string expected;
    std::size_t room = size;
    if (model.prefix && !model.taken && std::min<std::size_t>(size, unread.size()) >= 3) {
        model.prefix = false;
        if (!unread.starts_with(kByteOrderMark)) {
            expected = kByteOrderMark;
            room -= kByteOrderMark.size();
        }
    }
    std::size_t taken = std::min(room, unread.size());
    expected.append(unread.substr(0, taken));
    model.Take(taken);
    model.taken = model.taken || taken > 0;
    FUZZ_CHECK(std::string_view(out, count) == expected);
}

void ReadLine(nb::Buffer& buffer, Model& model, std::uint32_t capacity) {
    char* line = Scratch();
    std::uint32_t length = 12345;
    HRESULT result = buffer.ReadLineA(line, capacity, &length);
    std::string_view unread = model.Unread();
    std::size_t line_end = unread.find("\r\n");
    if (unread.empty()) {
        FUZZ_CHECK(result == EmptyAnswer(model) && length == 0);
        return;
    }
    if (line_end == std::string_view::npos) {
        FUZZ_CHECK(result == E_FAIL && length == 0);
        return;
    }
    FUZZ_CHECK(length == line_end);
    if (line_end > capacity) {
        FUZZ_CHECK(result == E_OUTOFMEMORY);
        // What a caller does with that answer: make room and ask again.
        result = buffer.ReadLineA(line, length + 1, &length);
        FUZZ_CHECK(length == line_end);
    }
    FUZZ_CHECK(result == S_OK);
    std::string_view text(line, length);
    FUZZ_CHECK(text.find("\r\n") == std::string_view::npos);
    FUZZ_CHECK(text == unread.substr(0, line_end));
    model.Take(line_end + 2);
    model.taken = true;
}

void SetPrefix(nb::Buffer& buffer, Model& model, std::uint8_t choice) {
    static constexpr std::string_view kTypes[] = {"text/html; charset=utf-8", "UTF-8",
                                                  "charset=Utf-8", "text/plain"};
    std::string_view type = kTypes[choice % 4];
    if (choice & 4)
        buffer.SetUtf8Prefix(std::u16string(type.begin(), type.end()));
    else
        buffer.SetUtf8Prefix(type);
    model.prefix = model.prefix || choice % 4 < 2;
}

void CheckState(const nb::Buffer& buffer, const Model& model) {
    std::uint32_t capacity = buffer.Capacity();
    std::string_view unread = model.Unread();
    FUZZ_CHECK(buffer.Unread() == unread.size());
    FUZZ_CHECK(buffer.Total() == model.total);
    FUZZ_CHECK(capacity % 65536 == 0 && capacity >= unread.size());
    bool header_end = unread.find("\r\n\r\n") != std::string_view::npos;
    FUZZ_CHECK(buffer.HasHeaderEnd() == header_end);
}

void Step(nb::Buffer& buffer, Model& model, Input& input) {
    std::uint8_t operation = input.Byte();
    std::uint8_t argument = input.Byte();
    switch (operation % 10) {
        case 0:
            Write(buffer, model, input.Bytes(argument % 64));
            break;
        case 1:
            Write(buffer, model, BulkText((argument + 1u) * 512u, operation));
            break;
        case 2:
            Read(buffer, model, argument & 1 ? argument * 257u : argument);
            break;
        case 3:
            ReadLine(buffer, model, argument % 16);
            break;
        case 4:
            ReadLine(buffer, model, 0);
            break;
        case 5:
            buffer.Reset();
            model.Clear();
            model.total = 0;
            model.taken = false;
            break;
        case 6:
            buffer.MarkComplete();
            model.pending = false;
            break;
        case 7:
            SetPrefix(buffer, model, argument);
            break;
        case 8:
            buffer.Compact();
            model.taken = false;
            break;
        default:
            Read(buffer, model, argument * 512u);
            break;
    }
}

// Any message box means a sanity or allocation failure that must not happen.
int FailOnMessageBox(HWND, LPCWSTR, LPCWSTR, UINT) { std::abort(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NbSetMessageBoxPresenter(&FailOnMessageBox);
    Input input(data, size);
    std::optional<nb::Buffer> buffer = nb::Buffer::Create(input.Byte() * 512u);
    FUZZ_CHECK(buffer.has_value());
    Model model;
    while (!input.Empty()) {
        Step(*buffer, model, input);
        CheckState(*buffer, model);
    }
    // Whatever is left comes out whole once the producer is done.
    buffer->MarkComplete();
    model.pending = false;
    while (!model.Unread().empty()) Read(*buffer, model, 4096);
    Read(*buffer, model, 16);
    return 0;
}
