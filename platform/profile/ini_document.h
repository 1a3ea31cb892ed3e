// The text of an INI file as the private-profile calls see it: sections
// "[name]", keys "name=value", everything else kept as it is. Edits touch
// only the lines they must; every other line, its bytes and its line end,
// comes back unchanged.
//
// Reading follows the system's rules: section and key names are compared
// case-insensitively with surrounding blanks ignored, a value loses its
// surrounding blanks and one pair of matching quotes ('...' or "..."), lines
// starting with ";" are comments, and only the first section of a name is
// looked at.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/wintypes.h"

namespace nb {

class NB_EXPORT IniDocument {
   public:
    // Any bytes parse (UTF-8; invalid sequences read as U+FFFD in names and
    // values, and are kept as they are in lines that are not edited).
    static IniDocument Parse(std::string_view text);
    std::string Serialize() const;

    // The value of the key in the first section of that name; nothing when
    // either is missing.
    std::optional<std::u16string> Get(std::u16string_view section, std::u16string_view key) const;
    // What Parse(text).Get(section, key) answers, found in one pass over the
    // text without keeping its lines.
    static std::optional<std::u16string> Find(std::string_view text, std::u16string_view section,
                                              std::u16string_view key);
    // Every section name in file order (a name may repeat), and every key
    // name of the first section of that name.
    std::vector<std::u16string> SectionNames() const;
    std::vector<std::u16string> KeyNames(std::u16string_view section) const;

    enum class EditResult {
        kChanged,
        kUnchanged,
        // The name or value cannot be stored so that it reads back the same:
        // a line break anywhere, or a key that is empty, holds "=", or starts
        // with "[" or ";".
        kRejected,
    };
    // Replaces the key's value, or adds the key at the end of the section,
    // or adds the section at the end of the text. A value that would lose
    // blanks or quotes on reading is written inside double quotes, so it
    // reads back exactly.
    EditResult Set(std::u16string_view section, std::u16string_view key, std::u16string_view value);
    // Removes every line of the key in the first section of that name.
    EditResult DeleteKey(std::u16string_view section, std::u16string_view key);
    // Removes every section of that name with all its lines.
    EditResult DeleteSection(std::u16string_view section);

   private:
    enum class Kind { kOther, kSection, kKey };
    struct Line {
        std::string text;    // without the line end
        std::string ending;  // "\n", "\r\n", or "" for a last line without one
        Kind kind = Kind::kOther;
        std::u16string name;   // section or key name, trimmed
        std::u16string value;  // key value, trimmed and unquoted
        std::string raw_name;  // the key name's bytes as written, trimmed
    };

    // A line (without its line end) as views into its text: its kind, the
    // name of a section or key and the value of a key, trimmed and unquoted.
    struct LineView {
        Kind kind = Kind::kOther;
        std::string_view name;
        std::string_view value;
    };
    static LineView ViewLine(std::string_view text);
    static Line ParseLine(std::string text, std::string ending);
    // Lines [begin, end) of the first section of that name, begin being its
    // header.
    struct Range {
        std::size_t begin;
        std::size_t end;
    };
    std::optional<Range> FindSection(std::u16string_view section) const;
    std::size_t SectionEnd(std::size_t header) const;
    void EnsureLastLineEnds();

    std::string m_byte_order_mark;
    std::string m_newline = "\n";  // the file's own, for lines added
    std::vector<Line> m_lines;
};

}  // namespace nb
