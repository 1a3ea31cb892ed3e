#include "platform/cdrip/cue_sheet.h"

#include <array>
#include <string>
#include <utility>

namespace nb::cdrip {
namespace {

// The image reader reads lines with a 4096-byte buffer: a line and its end
// must fit, or the rest is read as a line of its own.
constexpr std::size_t kMaxLineBytes = 4094;
constexpr int kLastTrackNumber = 99;
constexpr int kLastIndexNumber = 99;
constexpr int kSecondsPerMinute = 60;
constexpr int kSectorsPerSecond = 75;
constexpr std::size_t kCatalogDigits = 13;

constexpr std::array<std::string_view, 9> kCdTextKeywords = {"TITLE",    "PERFORMER", "SONGWRITER",
                                                             "COMPOSER", "MESSAGE",   "ARRANGER",
                                                             "UPC_EAN",  "GENRE",     "DISC_ID"};
constexpr std::array<std::string_view, 4> kTrackFlags = {"PRE", "DCP", "4CH", "SCMS"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

template <std::size_t N>
bool IsOneOf(std::string_view word, const std::array<std::string_view, N>& words) {
    for (std::string_view candidate : words)
        if (word == candidate) return true;
    return false;
}

// The words of a line, split at blanks as the reader splits them.
std::vector<std::string_view> WordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && IsBlank(line[at])) ++at;
        const std::size_t begin = at;
        while (at < line.size() && !IsBlank(line[at])) ++at;
        if (at > begin) words.push_back(line.substr(begin, at - begin));
    }
    return words;
}

// One or two decimal digits, as the reader takes track and index numbers.
std::optional<int> SmallNumber(std::string_view word) {
    if (word.empty() || word.size() > 2) return std::nullopt;
    int value = 0;
    for (char c : word) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "mm:ss:ff" in sectors: minutes below 100, seconds below 60, frames below 75.
std::optional<std::uint32_t> SectorsOf(std::string_view time) {
    std::array<int, 3> parts{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < parts.size(); ++part) {
        const std::size_t end = part + 1 < parts.size() ? time.find(':', at) : time.size();
        if (end == std::string_view::npos) return std::nullopt;
        const std::optional<int> value = SmallNumber(time.substr(at, end - at));
        if (!value) return std::nullopt;
        parts[part] = *value;
        at = end + 1;
    }
    if (parts[1] >= kSecondsPerMinute || parts[2] >= kSectorsPerSecond) return std::nullopt;
    return static_cast<std::uint32_t>(
        (parts[0] * kSecondsPerMinute + parts[1]) * kSectorsPerSecond + parts[2]);
}

std::optional<bool> IsAudioMode(std::string_view mode) {
    if (mode == "AUDIO") return true;
    if (mode == "MODE1/2352" || mode == "MODE2/2352") return false;
    return std::nullopt;
}

class CueParser {
   public:
    bool Line(std::string_view line) {
        if (line.size() > kMaxLineBytes) return false;
        const std::vector<std::string_view> words = WordsOf(line);
        if (words.empty()) return true;
        const std::string_view keyword = words[0];
        const std::size_t arguments = words.size() - 1;
        if (keyword == "REM" || IsOneOf(keyword, kCdTextKeywords)) return true;
        // The reader keeps a copy of the catalog and of each ISRC, and loses
        // the earlier copy when one is given twice.
        if (keyword == "CATALOG")
            return Once(m_catalog_seen) && InDisc() && arguments == 1 && IsCatalog(words[1]);
        if (keyword == "FILE") return File(words);
        if (keyword == "TRACK") return arguments == 2 && Track(words[1], words[2]);
        if (keyword == "INDEX") return arguments == 2 && Index(words[1], words[2]);
        if (keyword == "FLAGS") return InTrack() && Flags(words);
        if (keyword == "ISRC") return InTrack() && Once(m_isrc_seen) && arguments == 1;
        if (keyword == "PREGAP") return InTrack() && arguments == 1 && SectorsOf(words[1]);
        // CDTEXTFILE would have the reader open a second file, and any other
        // word stops it.
        return false;
    }

    std::optional<CueSheet> Finish() {
        if (m_sheet.tracks.empty() || !m_started) return std::nullopt;
        return std::move(m_sheet);
    }

   private:
    bool InDisc() const { return m_sheet.tracks.empty(); }
    static bool Once(bool& seen) { return !std::exchange(seen, true); }
    bool InTrack() const { return !m_sheet.tracks.empty(); }

    static bool IsCatalog(std::string_view word) {
        if (word.size() != kCatalogDigits) return false;
        for (char c : word)
            if (!IsDigit(c)) return false;
        return true;
    }

    static bool Flags(const std::vector<std::string_view>& words) {
        for (std::size_t i = 1; i < words.size(); ++i)
            if (!IsOneOf(words[i], kTrackFlags)) return false;
        return true;
    }

    // One FILE, of raw sectors, before the first track; its name is not
    // looked at, as the reader takes the BIN named like the sheet.
    bool File(const std::vector<std::string_view>& words) {
        if (m_file_seen || !InDisc() || words.size() < 3 || words.back() != "BINARY") return false;
        m_file_seen = true;
        return true;
    }

    bool Track(std::string_view number_word, std::string_view mode) {
        const std::optional<int> number = SmallNumber(number_word);
        const std::optional<bool> audio = IsAudioMode(mode);
        if (!m_file_seen || !number || !audio || *number < 1 || *number > kLastTrackNumber)
            return false;
        // The reader finds its tracks by number only when the first is 1.
        const int expected = InTrack() ? m_sheet.tracks.back().number + 1 : 1;
        if (*number != expected || (InTrack() && !m_started)) return false;
        m_sheet.tracks.push_back({*number, *audio, 0});
        m_started = false;
        m_isrc_seen = false;
        m_last_index = -1;
        return true;
    }

    bool Index(std::string_view number_word, std::string_view time) {
        const std::optional<int> number = SmallNumber(number_word);
        const std::optional<std::uint32_t> sector = SectorsOf(time);
        if (!InTrack() || !number || !sector || *number > kLastIndexNumber) return false;
        // Indexes count up from 00 or 01; 02 and later follow 01.
        if (*number <= m_last_index || (*number >= 2 && !m_started)) return false;
        if (m_any_index && *sector < m_last_sector) return false;
        if (*number == 1) {
            if (m_any_start && *sector <= m_last_start) return false;
            m_sheet.tracks.back().start_sector = *sector;
            m_started = true;
            m_any_start = true;
            m_last_start = *sector;
        }
        m_last_index = *number;
        m_last_sector = *sector;
        m_any_index = true;
        return true;
    }

    CueSheet m_sheet;
    bool m_file_seen = false;
    bool m_catalog_seen = false;
    bool m_started = false;    // the current track has its INDEX 01
    bool m_isrc_seen = false;  // in the current track
    int m_last_index = -1;     // of the current track
    bool m_any_index = false;
    std::uint32_t m_last_sector = 0;
    bool m_any_start = false;
    std::uint32_t m_last_start = 0;
};

}  // namespace

std::optional<CueSheet> ParseCueSheet(std::string_view text) {
    if (text.size() > kMaxCueSheetBytes || text.find('\0') != std::string_view::npos)
        return std::nullopt;
    CueParser parser;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        if (!parser.Line(text.substr(at, end - at))) return std::nullopt;
        at = end + 1;
    }
    return parser.Finish();
}

}  // namespace nb::cdrip
