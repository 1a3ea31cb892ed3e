// EX_GetJarVal(section, key), EX_SetJarVal(section, key, value) and
// EX_DelJarVal(section, key): the values of the jar.
#include <string>

#include "common/error_report.h"
#include "external/frame/export.h"
#include "external/storage/jar_file.h"
#include "platform/profile/profile.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::String};
// A value is read into this many characters, so it comes back cut to 5119.
constexpr DWORD kReadBufferSize = 5120;
constexpr WORD kErrorSection = NB_ERROR_FUNCTION_FIRST;
constexpr WORD kErrorKey = NB_ERROR_FUNCTION_FIRST + 1;
constexpr WORD kErrorWrite = NB_ERROR_FUNCTION_FIRST + 2;

LPCWSTR Section(const ExCall& call) { return NbReadString(call.Argument(0)); }
LPCWSTR Key(const ExCall& call) { return NbReadString(call.Argument(1)); }

// The count and kind checks, then the names' own.
HRESULT CheckCall(const ExCall& call, UINT count) {
    if (HRESULT checked = call.CheckArguments(count, count, kKinds); FAILED(checked))
        return checked;
    if (!Section(call) || !Section(call)[0])
        return call.Fail(kErrorSection, u"Catastrophic: Jar section name cannot be empty");
    if (!Key(call) || !Key(call)[0])
        return call.Fail(kErrorKey, u"Catastrophic: Jar key name cannot be empty");
    return S_OK;
}

// A null value removes the key.
HRESULT Write(const ExCall& call, LPCWSTR value) {
    if (!WritePrivateProfileStringW(Section(call), Key(call), value, JarPath().c_str()))
        return call.Fail(kErrorWrite, u"Catastrophic: WritePrivateProfileString() failed");
    return S_OK;
}

HRESULT GetJarVal(const ExCall& call) {
    if (HRESULT checked = CheckCall(call, 2); FAILED(checked)) return checked;
    std::u16string value(kReadBufferSize, u'\0');
    const DWORD length = GetPrivateProfileStringW(Section(call), Key(call), u"", value.data(),
                                                  kReadBufferSize, JarPath().c_str());
    value.resize(length);
    return call.ReturnString(value);
}

HRESULT SetJarVal(const ExCall& call) {
    if (HRESULT checked = CheckCall(call, 3); FAILED(checked)) return checked;
    return Write(call, NbReadString(call.Argument(2)));
}

HRESULT DelJarVal(const ExCall& call) {
    if (HRESULT checked = CheckCall(call, 2); FAILED(checked)) return checked;
    return Write(call, nullptr);
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION_REPORTING_AS(GetJarVal, GetJatVal, nb::external::GetJarVal);
NB_DEFINE_EX_FUNCTION(SetJarVal, nb::external::SetJarVal);
NB_DEFINE_EX_FUNCTION(DelJarVal, nb::external::DelJarVal);
