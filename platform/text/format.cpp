#include "platform/text/format.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "platform/text/code_pages.h"

namespace {

// Widths and precisions beyond any buffer are clamped so the count of a
// complete text stays far from overflowing.
constexpr int kMaxFieldNumber = 1 << 20;
constexpr int kPointerDigits = 2 * sizeof(void*);
constexpr char16_t kReplacementCharacter = u'\uFFFD';

// Counts every unit of the formatted text and stores those that fit.
class Output {
   public:
    Output(LPWSTR buffer, int capacity) : m_buffer(buffer), m_room(capacity - 1) {}

    void Put(char16_t unit) {
        if (m_length < m_room) m_buffer[m_length] = unit;
        ++m_length;
    }
    void Put(std::u16string_view text) {
        for (char16_t unit : text) Put(unit);
    }
    void Repeat(char16_t unit, long long count) {
        for (; count > 0 && m_length < m_room; --count) Put(unit);
        m_length += std::max(count, 0LL);
    }
    // Terminates what was stored and returns the length of the whole text.
    int Finish() {
        m_buffer[std::min(m_length, m_room)] = 0;
        return static_cast<int>(std::min<long long>(m_length, INT_MAX));
    }

   private:
    LPWSTR m_buffer;
    long long m_room;
    long long m_length = 0;
};

enum class Size { Default, Short, Long, Wide64 };

struct Field {
    bool left_align = false;
    bool hex_prefix = false;
    bool zero_pad = false;
    int width = 0;
    int precision = -1;  // none given
    Size size = Size::Default;
    char16_t type = 0;
};

// A va_list cannot portably be passed by reference; a struct holding one can.
struct Arguments {
    va_list list;
};

LPCWSTR ParseNumber(LPCWSTR text, int* value) {
    for (; *text >= u'0' && *text <= u'9'; ++text)
        *value = std::min(*value * 10 + (*text - u'0'), kMaxFieldNumber);
    return text;
}

LPCWSTR ParseSize(LPCWSTR text, Size* size) {
    switch (*text) {
        case u'h':
            *size = Size::Short;
            return text + 1;
        case u'l':
        case u'w':
            *size = Size::Long;
            return text + 1;
        case u'I':
            if (text[1] == u'6' && text[2] == u'4') return *size = Size::Wide64, text + 3;
            if (text[1] == u'3' && text[2] == u'2') return *size = Size::Long, text + 3;
            *size = Size::Wide64;  // pointer-sized
            return text + 1;
        default:
            return text;
    }
}

// Parses what follows a '%' and returns the position after the type.
LPCWSTR ParseField(LPCWSTR text, Field* field) {
    for (;; ++text) {
        if (*text == u'-')
            field->left_align = true;
        else if (*text == u'#')
            field->hex_prefix = true;
        else if (*text == u'0')
            field->zero_pad = true;
        else
            break;
    }
    text = ParseNumber(text, &field->width);
    if (*text == u'.') {
        field->precision = 0;
        text = ParseNumber(text + 1, &field->precision);
    }
    text = ParseSize(text, &field->size);
    field->type = *text;
    return *text ? text + 1 : text;
}

void PutPadded(Output& out, const Field& field, std::u16string_view prefix, long long zeros,
               std::u16string_view body) {
    const long long length = static_cast<long long>(prefix.size() + body.size()) + zeros;
    const long long padding = std::max(field.width - length, 0LL);
    if (!field.left_align && !field.zero_pad) out.Repeat(u' ', padding);
    out.Put(prefix);
    if (!field.left_align && field.zero_pad) out.Repeat(u'0', padding);
    out.Repeat(u'0', zeros);
    out.Put(body);
    if (field.left_align) out.Repeat(u' ', padding);
}

void PutNumber(Output& out, const Field& field, std::uint64_t magnitude, bool negative,
               unsigned base, bool upper_case) {
    const char16_t* digit_set = upper_case ? u"0123456789ABCDEF" : u"0123456789abcdef";
    char16_t digits[64];
    std::size_t first = sizeof digits / sizeof *digits;
    const bool zero = magnitude == 0;
    do {
        digits[--first] = digit_set[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);
    const std::u16string_view body(digits + first, sizeof digits / sizeof *digits - first);

    std::u16string_view prefix;
    if (negative)
        prefix = u"-";
    else if (field.hex_prefix && base == 16 && !zero)
        prefix = upper_case ? u"0X" : u"0x";
    const long long precision = std::max(field.precision, 1);
    PutPadded(out, field, prefix, std::max(precision - static_cast<long long>(body.size()), 0LL),
              body);
}

void PutSigned(Output& out, const Field& field, Arguments& arguments) {
    long long value;
    switch (field.size) {
        case Size::Short:
            value = static_cast<short>(va_arg(arguments.list, int));
            break;
        case Size::Wide64:
            value = va_arg(arguments.list, long long);
            break;
        default:
            value = va_arg(arguments.list, int);
            break;
    }
    const auto bits = static_cast<std::uint64_t>(value);
    PutNumber(out, field, value < 0 ? 0 - bits : bits, value < 0, 10, false);
}

void PutUnsigned(Output& out, const Field& field, Arguments& arguments, unsigned base,
                 bool upper_case) {
    std::uint64_t value;
    switch (field.size) {
        case Size::Short:
            value = static_cast<unsigned short>(va_arg(arguments.list, unsigned));
            break;
        case Size::Wide64:
            value = va_arg(arguments.list, unsigned long long);
            break;
        default:
            value = va_arg(arguments.list, unsigned);
            break;
    }
    PutNumber(out, field, value, false, base, upper_case);
}

void PutPointer(Output& out, Field field, Arguments& arguments) {
    const auto address = reinterpret_cast<std::uintptr_t>(va_arg(arguments.list, void*));
    field.precision = std::max(field.precision, kPointerDigits);
    PutNumber(out, field, address, false, 16, true);
}

void PutText(Output& out, const Field& field, std::u16string_view text) {
    if (field.precision >= 0 && text.size() > static_cast<std::size_t>(field.precision))
        text = text.substr(0, static_cast<std::size_t>(field.precision));
    PutPadded(out, field, {}, 0, text);
}

// A zero character prints nothing, as with wsprintf.
void PutCharacter(Output& out, const Field& field, Arguments& arguments, bool wide) {
    const int value = va_arg(arguments.list, int);
    char16_t unit = static_cast<char16_t>(value);
    if (!wide) {
        // A single byte is a whole UTF-8 character only below 0x80.
        const auto byte = static_cast<unsigned char>(value);
        unit = byte < 0x80 ? byte : kReplacementCharacter;
    }
    if (unit != 0) PutText(out, field, {&unit, 1});
}

void PutWideText(Output& out, const Field& field, Arguments& arguments) {
    LPCWSTR text = va_arg(arguments.list, LPCWSTR);
    if (!text) text = u"(null)";
    // With a precision the text need not be terminated within it.
    std::size_t length = 0;
    const auto limit = field.precision >= 0 ? static_cast<std::size_t>(field.precision) : SIZE_MAX;
    while (length < limit && text[length] != 0) ++length;
    PutText(out, field, {text, length});
}

// The precision counts bytes of narrow text, as the ANSI code pages count
// characters; a character it cuts becomes U+FFFD.
void PutNarrowText(Output& out, const Field& field, Arguments& arguments) {
    const char* text = va_arg(arguments.list, const char*);
    if (!text) text = "(null)";
    const std::size_t length = field.precision >= 0
                                   ? strnlen(text, static_cast<std::size_t>(field.precision))
                                   : std::strlen(text);
    const std::u16string wide = nb::ToUtf16({text, length});
    PutText(out, field, wide);
}

void PutField(Output& out, const Field& field, Arguments& arguments) {
    switch (field.type) {
        case 0:
            return;  // a '%' at the end of the format
        case u'd':
        case u'i':
            return PutSigned(out, field, arguments);
        case u'u':
            return PutUnsigned(out, field, arguments, 10, false);
        case u'x':
            return PutUnsigned(out, field, arguments, 16, false);
        case u'X':
            return PutUnsigned(out, field, arguments, 16, true);
        case u'p':
            return PutPointer(out, field, arguments);
        case u'c':
            return PutCharacter(out, field, arguments, field.size != Size::Short);
        case u'C':
            return PutCharacter(out, field, arguments, field.size == Size::Long);
        case u's':
            if (field.size == Size::Short) return PutNarrowText(out, field, arguments);
            return PutWideText(out, field, arguments);
        case u'S':
            if (field.size == Size::Long) return PutWideText(out, field, arguments);
            return PutNarrowText(out, field, arguments);
        default:
            return out.Put(field.type);  // "%%" and characters that are not types
    }
}

int Format(LPWSTR buffer, int capacity, LPCWSTR format, Arguments& arguments) {
    Output out(buffer, std::min(capacity, NB_FORMAT_CEILING_CHARS));
    for (LPCWSTR at = format; *at != 0;) {
        if (*at != u'%') {
            out.Put(*at++);
            continue;
        }
        Field field;
        at = ParseField(at + 1, &field);
        PutField(out, field, arguments);
    }
    return out.Finish();
}

}  // namespace

NB_API int NbFormatTextV(LPWSTR buffer, int capacity, LPCWSTR format, va_list arguments) {
    if (!buffer || !format || capacity < 1) return -1;
    Arguments copy;
    va_copy(copy.list, arguments);
    int length;
    try {
        length = Format(buffer, capacity, format, copy);
    } catch (const std::bad_alloc&) {
        // Only the conversion of narrow text allocates; no exception leaves the library.
        buffer[0] = 0;
        length = -1;
    }
    va_end(copy.list);
    return length;
}

NB_API int NbFormatText(LPWSTR buffer, int capacity, LPCWSTR format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = NbFormatTextV(buffer, capacity, format, arguments);
    va_end(arguments);
    return length;
}
