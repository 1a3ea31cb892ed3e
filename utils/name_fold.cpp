#include "utils/name_fold.h"

#include <locale.h>

#include <cwctype>

#include "platform/text/ascii_case.h"

namespace nb::utils {
namespace {

// The C.UTF-8 locale gives towlower the full Unicode simple mappings, whatever
// locale the process chose. Without it only ASCII letters fold.
class CaseLocale {
   public:
    CaseLocale() : m_locale(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
    CaseLocale(const CaseLocale&) = delete;
    CaseLocale& operator=(const CaseLocale&) = delete;
    ~CaseLocale() {
        if (m_locale) freelocale(m_locale);
    }

    char32_t ToLower(char32_t code_point) const {
        if (!m_locale) return code_point;
        return static_cast<char32_t>(towlower_l(static_cast<wint_t>(code_point), m_locale));
    }

   private:
    locale_t m_locale;
};

const CaseLocale& Locale() {
    static const CaseLocale locale;
    return locale;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendCodePoint(std::u16string& out, char32_t code_point) {
    if (code_point < 0x10000) {
        out.push_back(static_cast<char16_t>(code_point));
        return;
    }
    code_point -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
}

}  // namespace

std::u16string FoldName(std::u16string_view name) {
    name = name.substr(0, name.find(u'\0'));
    std::u16string folded;
    folded.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i];
        if (unit < 0x80) {
            folded.push_back(nb::AsciiLower(unit));
            continue;
        }
        char32_t code_point = unit;
        if (IsHighSurrogate(unit) && i + 1 < name.size() && IsLowSurrogate(name[i + 1])) {
            code_point = 0x10000 + ((unit - 0xD800u) << 10) + (name[i + 1] - 0xDC00u);
            ++i;
        }
        const char32_t lower = Locale().ToLower(code_point);
        // A lone surrogate has no mapping and stays as it is.
        AppendCodePoint(folded, lower > 0x10FFFF ? code_point : lower);
    }
    return folded;
}

}  // namespace nb::utils
