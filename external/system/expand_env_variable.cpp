// EX_ExpandEnvVariable(text): the text with its environment-variable
// references expanded.
#include <string_view>

#include "common/error_report.h"
#include "external/frame/export.h"
#include "external/system/environment.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String};
// Texts of up to 16000 characters are accepted (32000 bytes and the
// terminator stay below the 32K limit the message names).
constexpr std::size_t kMaxInputLength = 16000;

HRESULT ExpandEnvVariable(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(1, 1, kKinds); FAILED(checked)) return checked;
    const LPCWSTR text = NbReadString(call.Argument(0));
    const std::u16string_view input = text ? std::u16string_view(text) : std::u16string_view();
    if (input.size() > kMaxInputLength)
        return call.Fail(NB_ERROR_FILE_REQUEST, u"Catastrophic: Input string too long (max 32k)");
    const std::optional<std::u16string> expanded = ExpandEnvironment(input);
    if (!expanded) return call.Fail(NB_ERROR_FILE_REQUEST, u"Catastrophic: Expand failed");
    return call.ReturnString(*expanded);
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(ExpandEnvVariable, nb::external::ExpandEnvVariable);
