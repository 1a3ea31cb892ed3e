#include "tools/nbrun/json_output.h"

#include <cinttypes>

#include "common/variant_text.h"
#include "platform/text/code_pages.h"
#include "tools/nbrun/script_json.h"

namespace nb::nbrun {
namespace {

using nlohmann::ordered_json;

std::string Utf8(BSTR text) { return nb::ToUtf8(NbBstrView(text)); }

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, static_cast<std::uint32_t>(hr));
    return text;
}

}  // namespace

ordered_json OutcomeJson(HRESULT hr, const VARIANT& result, const EXCEPINFO& exception) {
    if (SUCCEEDED(hr)) return {{"result", ordered_json(ScriptValueToJson(result))}};
    if (hr != DISP_E_EXCEPTION) return {{"hresult", HexCode(hr)}};
    return {{"error",
             {{"code", exception.wCode},
              {"source", Utf8(exception.bstrSource)},
              {"description", Utf8(exception.bstrDescription)}}}};
}

std::string JsonLine(const ordered_json& value) {
    return value.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

HRESULT PrintingPage::CallFunction(LPCWSTR name, DISPPARAMS* arguments, VARIANT*) {
    if (!name || m_function != name) return DISP_E_UNKNOWNNAME;
    ordered_json line = ordered_json::array();
    // DISPPARAMS hold the arguments last-first.
    for (UINT i = arguments->cArgs; i > 0; --i)
        line.push_back(ordered_json(ScriptValueToJson(arguments->rgvarg[i - 1])));
    std::fprintf(m_out, "%s\n", JsonLine(line).c_str());
    std::fflush(m_out);
    return S_OK;
}

}  // namespace nb::nbrun
