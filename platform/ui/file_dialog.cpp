#include "platform/ui/file_dialog.h"

#include <atomic>

namespace {

std::vector<std::u16string> Cancelled(const NbFileDialogRequest&) { return {}; }

std::atomic<FileDialogPresenter> g_presenter{&Cancelled};

}  // namespace

std::vector<std::u16string> NbShowFileDialog(const NbFileDialogRequest& request) {
    return g_presenter.load()(request);
}

FileDialogPresenter NbSetFileDialogPresenter(FileDialogPresenter presenter) {
    return g_presenter.exchange(presenter ? presenter : &Cancelled);
}
