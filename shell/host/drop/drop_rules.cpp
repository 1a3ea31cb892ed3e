#include "shell/host/drop/drop_rules.h"

#include <glib.h>

#include "platform/automation/com_ptr.h"
#include "platform/glib/owned.h"
#include "platform/text/code_pages.h"

namespace nb::shell {
namespace {

bool IsLocalHost(const char* host) {
    return !host || !*host || g_ascii_strcasecmp(host, "localhost") == 0 ||
           g_ascii_strcasecmp(host, g_get_host_name()) == 0;
}

std::u16string CutPath(std::u16string path) {
    if (path.size() <= kMaxDropPath) return path;
    std::size_t keep = kMaxDropPath;
    // The first half of a pair alone would be no character at all.
    if (path[keep - 1] >= 0xD800 && path[keep - 1] <= 0xDBFF) --keep;
    path.resize(keep);
    return path;
}

std::uint32_t EffectOfCode(std::int32_t code) {
    switch (code) {
        case 1:
            return kDropNone;
        case 2:
            return kDropCopy;
        case 3:
            return kDropMove;
        default:
            return kDropLink;
    }
}

}  // namespace

std::vector<std::u16string> DroppedPaths(const std::vector<std::string>& uris) {
    std::vector<std::u16string> paths;
    for (auto uri = uris.rbegin(); uri != uris.rend(); ++uri) {
        glib::Text host;
        const glib::Text path(g_filename_from_uri(uri->c_str(), glib::Out(host), nullptr));
        if (path && IsLocalHost(host.get())) paths.push_back(CutPath(ToUtf16(path.get())));
    }
    return paths;
}

std::optional<std::int32_t> AnswerNumber(const VARIANT& answer) {
    switch (answer.vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_BOOL:
            break;
        default:
            return std::nullopt;
    }
    Variant number;
    if (FAILED(VariantChangeType(&number, &answer, 0, VT_I4))) return std::nullopt;
    return number.lVal;
}

std::uint32_t EffectAfterEnter(std::optional<std::int32_t> answer, std::uint32_t offered) {
    if (!answer || *answer < 1 || *answer > 4) return offered;
    return offered & EffectOfCode(*answer);
}

std::uint32_t EffectAfterAnswer(std::optional<std::int32_t> answer, std::uint32_t current) {
    if (!answer || *answer < 1 || *answer > 4) return current;
    return EffectOfCode(*answer);
}

DropArguments::DropArguments(int x, int y, const std::vector<std::u16string>* paths) {
    const std::size_t count = (paths ? paths->size() : 0) + 2;
    m_values.resize(count);
    for (VARIANT& value : m_values) VariantInit(&value);
    // DISPPARAMS run backwards: the page's last path (the first file) first.
    if (paths)
        for (std::size_t i = 0; i < paths->size(); ++i) {
            const std::u16string& path = (*paths)[paths->size() - 1 - i];
            m_values[i].bstrVal = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
            if (!m_values[i].bstrVal) m_complete = false;
            m_values[i].vt = VT_BSTR;
        }
    m_values[count - 2].vt = VT_INT;
    m_values[count - 2].intVal = y;
    m_values[count - 1].vt = VT_INT;
    m_values[count - 1].intVal = x;
    m_params = DISPPARAMS{m_values.data(), nullptr, static_cast<UINT>(count), 0};
}

DropArguments::~DropArguments() {
    for (VARIANT& value : m_values) VariantClear(&value);
}

}  // namespace nb::shell
