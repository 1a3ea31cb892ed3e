#include "shell/host/tray/tray_arguments.h"

#include "common/variant_text.h"
#include "platform/automation/com_ptr.h"
#include "platform/text/code_pages.h"

namespace nb::shell {
namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

bool Absent(const VARIANT& value) { return value.vt == VT_EMPTY || value.vt == VT_NULL; }

// The value as text, or nothing when it is absent or cannot be converted.
std::u16string OptionalText(const VARIANT& value) {
    if (Absent(value)) return {};
    if (value.vt == VT_BSTR) return std::u16string(NbBstrView(value.bstrVal));
    Variant text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return {};
    return std::u16string(NbBstrView(text.bstrVal));
}

bool OptionalInteger(const VARIANT& value, std::int32_t* out) {
    if (Absent(value)) return false;
    Variant number;
    if (FAILED(VariantChangeType(&number, &value, 0, VT_I4))) return false;
    *out = number.lVal;
    return true;
}

}  // namespace

std::u16string CutUnits(std::u16string_view text, std::size_t max_units) {
    if (text.size() <= max_units) return std::u16string(text);
    std::size_t length = max_units;
    if (length > 0 && IsHighSurrogate(text[length - 1])) --length;
    return std::u16string(text.substr(0, length));
}

BalloonIcon BalloonIconFromKind(std::int32_t kind) {
    switch (kind) {
        case 0:
            return BalloonIcon::kNone;
        case 2:
            return BalloonIcon::kWarning;
        case 3:
            return BalloonIcon::kError;
        default:
            return BalloonIcon::kInformation;
    }
}

std::string_view BalloonIconName(BalloonIcon icon) {
    switch (icon) {
        case BalloonIcon::kNone:
            return {};
        case BalloonIcon::kWarning:
            return "dialog-warning";
        case BalloonIcon::kError:
            return "dialog-error";
        case BalloonIcon::kInformation:
            break;
    }
    return "dialog-information";
}

HRESULT ReadBalloonArguments(const DISPPARAMS* params, BalloonRequest* request,
                             UINT* argument_error) {
    const UINT count = params ? params->cArgs : 0;
    if (count < 1 || count > 4) return DISP_E_BADPARAMCOUNT;
    // Arguments arrive last first: script argument i is at count - 1 - i.
    const auto argument = [&](UINT i) -> const VARIANT& { return params->rgvarg[count - 1 - i]; };
    if (argument(0).vt != VT_BSTR) {
        if (argument_error) *argument_error = count - 1;
        return DISP_E_TYPEMISMATCH;
    }
    BalloonRequest read;
    read.text = CutUnits(NbBstrView(argument(0).bstrVal), kBalloonTextUnits);
    if (count > 1) read.title = CutUnits(OptionalText(argument(1)), kBalloonTitleUnits);
    if (count > 2) {
        std::int32_t timeout_ms = 0;
        if (OptionalInteger(argument(2), &timeout_ms) && timeout_ms > 0)
            read.timeout_ms = timeout_ms;
    }
    if (count > 3) {
        std::int32_t kind = 1;
        if (OptionalInteger(argument(3), &kind)) read.icon = BalloonIconFromKind(kind);
    }
    *request = std::move(read);
    return S_OK;
}

std::string IconFileBeside(std::u16string_view program_path) {
    std::string path = ToUtf8(program_path);
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.resize(dot);
    return path + ".png";
}

HRESULT ReadShutdownReason(const DISPPARAMS* params, std::u16string* reason, UINT* argument_error) {
    const UINT count = params ? params->cArgs : 0;
    if (count != 1) return DISP_E_BADPARAMCOUNT;
    if (params->rgvarg[0].vt != VT_BSTR) {
        if (argument_error) *argument_error = 0;
        return DISP_E_TYPEMISMATCH;
    }
    *reason = CutUnits(NbBstrView(params->rgvarg[0].bstrVal), kShutdownReasonUnits);
    return S_OK;
}

}  // namespace nb::shell
