// EX_OpenFileName(title, filters[, multiSelect[, initialDir]]) and
// EX_SaveFileName(title, filters, defaultFile): the system's file dialogs,
// modal to the shell window; a cancelled dialog is no error.
#include <span>

#include "common/error_report.h"
#include "common/script_array.h"
#include "external/frame/export.h"
#include "external/ui/file_filters.h"
#include "platform/automation/com_ptr.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kOpenKinds[] = {NbArgumentKind::String, NbArgumentKind::Array,
                                         NbArgumentKind::Boolean, NbArgumentKind::String};
constexpr NbArgumentKind kSaveKinds[] = {NbArgumentKind::String, NbArgumentKind::Array,
                                         NbArgumentKind::String};

std::u16string TextOf(LPCWSTR text) { return text ? text : u""; }

// The request both dialogs share, or the failed report.
Expected<NbFileDialogRequest, HRESULT> RequestOf(const ExCall& call, NbFileDialogKind kind) {
    auto filters = ReadFileFilters(call.Argument(1));
    if (!filters)
        return Unexpected(
            call.Fail(NB_ERROR_FILE_REQUEST, BadFilterMessage(filters.error()).c_str()));
    NbFileDialogRequest request;
    request.kind = kind;
    request.owner = call.frame().shell_window;
    request.title = TextOf(NbReadString(call.Argument(0)));
    request.filters = std::move(*filters);
    return request;
}

HRESULT OpenFileName(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(2, 4, kOpenKinds); FAILED(checked)) return checked;
    auto request = RequestOf(call, NbFileDialogKind::kOpen);
    if (!request) return request.error();
    const UINT count = call.ArgumentCount();
    if (count >= 3 && NbReadBoolean(call.Argument(2))) request->selection = NbFileSelection::kMany;
    if (count == 4) request->initial_folder = TextOf(NbReadString(call.Argument(3)));
    // The list exists before the dialog shows, so a failure to make it never
    // costs the person a choice already made.
    Variant list;
    if (FAILED(NB_ARRAY_CREATE(&list)))
        return call.Fail(NB_ERROR_RESULT_LIST, NB_MESSAGE_ARRAY_CREATE);
    std::vector<std::u16string> chosen = NbShowFileDialog(*request);
    if (request->selection == NbFileSelection::kOne && chosen.size() > 1) chosen.resize(1);
    for (std::size_t index = 0; index < chosen.size(); ++index) {
        if (FAILED(NB_ARRAY_ADDSTRING(&list, static_cast<int>(index), chosen[index].c_str())))
            return call.Fail(NB_ERROR_RESULT_LIST, NB_MESSAGE_ARRAY_ADDELEMENT);
    }
    return call.ReturnValue(list);
}

HRESULT SaveFileName(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(3, 3, kSaveKinds); FAILED(checked)) return checked;
    auto request = RequestOf(call, NbFileDialogKind::kSave);
    if (!request) return request.error();
    request->initial_file = TextOf(NbReadString(call.Argument(2)));
    const std::vector<std::u16string> chosen = NbShowFileDialog(*request);
    return call.ReturnString(chosen.empty() ? std::u16string() : chosen.front());
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(OpenFileName, nb::external::OpenFileName);
NB_DEFINE_EX_FUNCTION(SaveFileName, nb::external::SaveFileName);
