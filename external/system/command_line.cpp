#include "external/system/command_line.h"

namespace nb::external {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool IsEscapableInDoubleQuotes(char c) { return c == '$' || c == '`' || c == '"' || c == '\\'; }

class Splitter {
   public:
    explicit Splitter(std::string_view line) : m_line(line) {}

    std::optional<std::vector<std::string>> Run() {
        while (m_at < m_line.size()) {
            if (!Step()) return std::nullopt;
        }
        EndWord();
        return std::move(m_words);
    }

   private:
    // Reads one character, or one quoted part, at the current position.
    bool Step() {
        const char c = m_line[m_at++];
        if (IsBlank(c)) {
            EndWord();
            return true;
        }
        m_in_word = true;
        if (c == '\'') return SingleQuoted();
        if (c == '"') return DoubleQuoted();
        if (c == '\\') {
            Escaped();
            return true;
        }
        m_word += c;
        return true;
    }

    void Escaped() {
        if (m_at == m_line.size()) {
            m_word += '\\';
        } else if (m_line[m_at] == '\n') {
            ++m_at;
        } else {
            m_word += m_line[m_at++];
        }
    }

    bool SingleQuoted() {
        const std::size_t close = m_line.find('\'', m_at);
        if (close == std::string_view::npos) return false;
        m_word.append(m_line.substr(m_at, close - m_at));
        m_at = close + 1;
        return true;
    }

    bool DoubleQuoted() {
        while (m_at < m_line.size()) {
            const char c = m_line[m_at++];
            if (c == '"') return true;
            if (c == '\\' && m_at < m_line.size()) {
                const char next = m_line[m_at];
                if (next == '\n') {
                    ++m_at;
                    continue;
                }
                if (IsEscapableInDoubleQuotes(next)) {
                    m_word += next;
                    ++m_at;
                    continue;
                }
            }
            m_word += c;
        }
        return false;
    }

    void EndWord() {
        if (m_in_word) m_words.push_back(std::move(m_word));
        m_word.clear();
        m_in_word = false;
    }

    std::string_view m_line;
    std::size_t m_at = 0;
    std::vector<std::string> m_words;
    std::string m_word;
    bool m_in_word = false;
};

}  // namespace

std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line) {
    if (line.find('\0') != std::string_view::npos) return std::nullopt;
    return Splitter(line).Run();
}

}  // namespace nb::external
