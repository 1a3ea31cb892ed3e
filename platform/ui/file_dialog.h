// Open and save dialogs. The default presenter shows nothing and answers as
// if the dialog were cancelled; the shell installs one that shows a real
// dialog, and tests install one that records what was asked and answers.
#pragma once

#include <string>
#include <vector>

#include "platform/automation/wintypes.h"

enum class NbFileDialogKind { kOpen, kSave };
enum class NbFileSelection { kOne, kMany };

struct NbFileFilter {
    std::u16string description;  // "Sound files"
    std::u16string pattern;      // "*.wav;*.mp3"
};

struct NbFileDialogRequest {
    NbFileDialogKind kind = NbFileDialogKind::kOpen;
    HWND owner = nullptr;  // the dialog is modal to this window
    std::u16string title;  // empty: the presenter's own title
    // Offered in this order, the first selected; empty: one filter "All
    // Files" matching "*".
    std::vector<NbFileFilter> filters;
    std::u16string initial_folder;                      // empty: the presenter's choice
    std::u16string initial_file;                        // the name proposed by a save dialog
    NbFileSelection selection = NbFileSelection::kOne;  // open dialogs only
    // Open dialogs offer only existing files; save dialogs ask before
    // replacing one.
};

// The chosen files as full paths in the dialog's order; empty when the
// dialog was cancelled. A save dialog answers at most one.
using FileDialogPresenter = std::vector<std::u16string> (*)(const NbFileDialogRequest& request);

NB_EXPORT std::vector<std::u16string> NbShowFileDialog(const NbFileDialogRequest& request);
// Installs a presenter (null restores the default) and returns the previous one.
NB_EXPORT FileDialogPresenter NbSetFileDialogPresenter(FileDialogPresenter presenter);
