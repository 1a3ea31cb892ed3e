#include "platform/profile/ini_document.h"

#include <algorithm>

#include "platform/text/case_fold.h"
#include "platform/text/code_pages.h"

namespace nb {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsBlank16(char16_t c) { return c < 0x80 && IsBlank(static_cast<char>(c)); }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::u16string_view Trim16(std::u16string_view text) {
    while (!text.empty() && IsBlank16(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank16(text.back())) text.remove_suffix(1);
    return text;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

bool SameName(std::u16string_view stored, std::u16string_view wanted) {
    return EqualIgnoringCase(stored, Trim16(wanted));
}

// SameName of a name still in UTF-8; an ASCII name needs no conversion.
bool SameUtf8Name(std::string_view stored, std::u16string_view wanted) {
    if (!std::ranges::all_of(stored, [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return SameName(ToUtf16(stored), wanted);
    return std::ranges::equal(stored, Trim16(wanted), [](char s, char16_t w) {
        return UpperCaseChar(static_cast<char16_t>(s)) == UpperCaseChar(w);
    });
}

std::string_view WithoutByteOrderMark(std::string_view text) {
    return text.starts_with(kUtf8ByteOrderMark) ? text.substr(kUtf8ByteOrderMark.size()) : text;
}

// Calls visit(body, ending) for each line, its end ("\n", "\r\n", or "" for
// a last line without one) apart, until visit answers false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view body = text.substr(0, end);
        std::string_view ending;
        if (end != std::string_view::npos) {
            ending = "\n";
            if (body.ends_with('\r')) {
                body.remove_suffix(1);
                ending = "\r\n";
            }
            text.remove_prefix(end + 1);
        } else {
            text = {};
        }
        if (!visit(body, ending)) return;
    }
}

bool HasLineBreak(std::u16string_view text) {
    return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

// The value as written after "=": quoted when reading would otherwise strip
// blanks or a pair of quotes from it.
std::string EncodeValue(std::u16string_view value) {
    std::string text = ToUtf8(value);
    bool loses_blanks = !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()));
    bool loses_quotes = Unquote(text).size() != text.size();
    if (loses_blanks || loses_quotes) return '"' + text + '"';
    return text;
}

}  // namespace

IniDocument::LineView IniDocument::ViewLine(std::string_view text) {
    const std::string_view content = Trim(text);
    if (content.empty() || content.front() == ';') return {};
    if (content.front() == '[') {
        // Up to the last "]", so names holding "]" survive; a header missing
        // its "]" still opens a section, as the system reads it.
        std::string_view name = content.substr(1);
        std::size_t close = name.rfind(']');
        if (close != std::string_view::npos) name = name.substr(0, close);
        return {Kind::kSection, Trim(name), {}};
    }
    std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) return {};
    return {Kind::kKey, Trim(content.substr(0, equals)), Unquote(Trim(content.substr(equals + 1)))};
}

IniDocument::Line IniDocument::ParseLine(std::string text, std::string ending) {
    Line line;
    line.text = std::move(text);
    line.ending = std::move(ending);
    const LineView view = ViewLine(line.text);
    line.kind = view.kind;
    if (view.kind == Kind::kOther) return line;
    line.name = ToUtf16(view.name);
    if (view.kind == Kind::kKey) {
        line.raw_name = std::string(view.name);
        line.value = ToUtf16(view.value);
    }
    return line;
}

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument document;
    if (text.starts_with(kUtf8ByteOrderMark)) document.m_byte_order_mark = kUtf8ByteOrderMark;
    bool newline_seen = false;
    ForEachLine(WithoutByteOrderMark(text), [&](std::string_view body, std::string_view ending) {
        if (!ending.empty() && !newline_seen) {
            document.m_newline = ending;
            newline_seen = true;
        }
        document.m_lines.push_back(ParseLine(std::string(body), std::string(ending)));
        return true;
    });
    return document;
}

std::optional<std::u16string> IniDocument::Find(std::string_view text, std::u16string_view section,
                                                std::u16string_view key) {
    bool in_section = false;
    std::optional<std::u16string> value;
    ForEachLine(WithoutByteOrderMark(text), [&](std::string_view body, std::string_view) {
        const LineView line = ViewLine(body);
        if (line.kind == Kind::kSection) {
            if (in_section) return false;  // only the first section of the name counts
            in_section = SameUtf8Name(line.name, section);
        } else if (line.kind == Kind::kKey && in_section && SameUtf8Name(line.name, key)) {
            value = ToUtf16(line.value);
            return false;
        }
        return true;
    });
    return value;
}

std::string IniDocument::Serialize() const {
    std::string out = m_byte_order_mark;
    for (const Line& line : m_lines) out.append(line.text).append(line.ending);
    return out;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
    std::size_t end = header + 1;
    while (end < m_lines.size() && m_lines[end].kind != Kind::kSection) ++end;
    return end;
}

std::optional<IniDocument::Range> IniDocument::FindSection(std::u16string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].kind == Kind::kSection && SameName(m_lines[i].name, section))
            return Range{i, SectionEnd(i)};
    return std::nullopt;
}

std::optional<std::u16string> IniDocument::Get(std::u16string_view section,
                                               std::u16string_view key) const {
    std::optional<Range> range = FindSection(section);
    if (!range) return std::nullopt;
    for (std::size_t i = range->begin + 1; i < range->end; ++i)
        if (m_lines[i].kind == Kind::kKey && SameName(m_lines[i].name, key))
            return m_lines[i].value;
    return std::nullopt;
}

std::vector<std::u16string> IniDocument::SectionNames() const {
    std::vector<std::u16string> names;
    for (const Line& line : m_lines)
        if (line.kind == Kind::kSection) names.push_back(line.name);
    return names;
}

std::vector<std::u16string> IniDocument::KeyNames(std::u16string_view section) const {
    std::vector<std::u16string> names;
    if (std::optional<Range> range = FindSection(section))
        for (std::size_t i = range->begin + 1; i < range->end; ++i)
            if (m_lines[i].kind == Kind::kKey) names.push_back(m_lines[i].name);
    return names;
}

void IniDocument::EnsureLastLineEnds() {
    if (!m_lines.empty() && m_lines.back().ending.empty()) m_lines.back().ending = m_newline;
}

IniDocument::EditResult IniDocument::Set(std::u16string_view section, std::u16string_view key,
                                         std::u16string_view value) {
    std::u16string_view key_name = Trim16(key);
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) || key_name.empty() ||
        key_name.find(u'=') != std::u16string_view::npos || key_name.front() == u'[' ||
        key_name.front() == u';')
        return EditResult::kRejected;
    std::string encoded = EncodeValue(value);

    std::optional<Range> range = FindSection(section);
    if (!range) {
        EnsureLastLineEnds();
        m_lines.push_back(ParseLine("[" + ToUtf8(Trim16(section)) + "]", m_newline));
        m_lines.push_back(ParseLine(ToUtf8(key_name) + "=" + encoded, m_newline));
        return EditResult::kChanged;
    }
    for (std::size_t i = range->begin + 1; i < range->end; ++i) {
        Line& line = m_lines[i];
        if (line.kind != Kind::kKey || !SameName(line.name, key)) continue;
        // The key keeps its spelling in the file; only the value changes.
        std::string text = line.raw_name + "=" + encoded;
        if (text == line.text) return EditResult::kUnchanged;
        line = ParseLine(std::move(text), line.ending);
        return EditResult::kChanged;
    }
    // After the section's last line that is not blank, so blank lines that
    // separate it from the next section stay where they are.
    std::size_t at = range->end;
    while (at > range->begin + 1 && Trim(m_lines[at - 1].text).empty()) --at;
    if (at == m_lines.size()) EnsureLastLineEnds();
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at),
                   ParseLine(ToUtf8(key_name) + "=" + encoded, m_newline));
    return EditResult::kChanged;
}

IniDocument::EditResult IniDocument::DeleteKey(std::u16string_view section,
                                               std::u16string_view key) {
    std::optional<Range> range = FindSection(section);
    if (!range) return EditResult::kUnchanged;
    std::size_t before = m_lines.size();
    std::size_t i = range->begin + 1;
    std::size_t end = range->end;
    while (i < end) {
        if (m_lines[i].kind == Kind::kKey && SameName(m_lines[i].name, key)) {
            m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(i));
            --end;
        } else {
            ++i;
        }
    }
    return m_lines.size() == before ? EditResult::kUnchanged : EditResult::kChanged;
}

IniDocument::EditResult IniDocument::DeleteSection(std::u16string_view section) {
    EditResult result = EditResult::kUnchanged;
    while (std::optional<Range> range = FindSection(section)) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(range->begin),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(range->end));
        result = EditResult::kChanged;
    }
    return result;
}

}  // namespace nb
