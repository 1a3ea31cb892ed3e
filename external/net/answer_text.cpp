#include "external/net/answer_text.h"

#include "platform/text/code_pages.h"

namespace nb::external::net {
namespace {

constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr char16_t kReplacement = 0xFFFD;

std::u16string FromUtf16Le(std::string_view body) {
    std::u16string text;
    text.reserve(body.size() / 2 + 1);
    for (std::size_t at = 0; at + 1 < body.size(); at += 2) {
        const auto low = static_cast<unsigned char>(body[at]);
        const auto high = static_cast<unsigned char>(body[at + 1]);
        text.push_back(static_cast<char16_t>(low | (high << 8)));
    }
    if (body.size() % 2 != 0) text.push_back(kReplacement);
    return text;
}

bool IsStatusLine(std::string_view line) { return line.starts_with("HTTP/"); }

bool IsEmptyLine(std::string_view line) { return line == "\r\n" || line == "\n"; }

}  // namespace

std::u16string DecodeAnswerText(std::string_view body) {
    if (body.starts_with(kUtf16Mark)) return FromUtf16Le(body);
    return ToUtf16(body);
}

int StatusOfLine(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (!IsStatusLine(line) || space == std::string_view::npos) return 0;
    const std::string_view digits = line.substr(space + 1, 3);
    if (digits.size() != 3) return 0;
    int status = 0;
    for (char digit : digits) {
        if (digit < '0' || digit > '9') return 0;
        status = status * 10 + (digit - '0');
    }
    return status;
}

void AnswerHeaders::AddLine(std::string_view line) {
    if (IsStatusLine(line)) {
        m_text.clear();
        m_status = StatusOfLine(line);
        m_complete = false;
    }
    m_text.append(line);
    if (IsEmptyLine(line)) m_complete = m_status >= 200;
}

}  // namespace nb::external::net
