// EX_GetTempDir and EX_GetApplicationDir: the temporary directory and the
// directory that holds the application's internals folder.
#include <string>

#include "common/error_report.h"
#include "external/frame/export.h"
#include "platform/kernel/program_paths.h"
#include "platform/text/code_pages.h"

namespace nb::external {
namespace {

HRESULT GetTempDir(const ExCall& call) { return call.ReturnString(ToUtf16(TemporaryDirectory())); }

// The path this module was loaded from, made absolute.
std::string ModulePath() { return ModulePathOf(reinterpret_cast<const void*>(&ModulePath)); }

// The module sits in <application>/internals/; the answer is <application>.
HRESULT GetApplicationDir(const ExCall& call) {
    std::string path = ModulePath();
    for (int component = 0; component < 2; ++component) {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos) {
            return call.Fail(NB_ERROR_FILE_REQUEST,
                             u"Catastrophic: Cannot get application directory");
        }
        path.erase(slash);
    }
    return call.ReturnString(ToUtf16(path));
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(GetTempDir, nb::external::GetTempDir);
NB_DEFINE_EX_FUNCTION(GetApplicationDir, nb::external::GetApplicationDir);
