// The filter list of the open and save dialogs: a script array of entries,
// each a script array of a description and a pattern ("*.wav;*.mp3").
#pragma once

#include <string>
#include <vector>

#include "platform/automation/variant.h"
#include "platform/kernel/expected.h"
#include "platform/ui/file_dialog.h"

namespace nb::external {

// The filters in their order (an empty list offers "All Files", "*"), or the
// number of the rule the definition breaks: 1 the list has no length, 2 an
// entry is no array, 3 an entry has no length, 4 and 5 its description or
// pattern cannot be read as a text. Rule 6 (an entry that stops being an
// array between two passes) cannot be broken here: the list is read once,
// and script arrays reach us as copies that nothing else changes.
Expected<std::vector<NbFileFilter>, int> ReadFileFilters(const VARIANT& list);

// "Catastrophic: Bad filter definition (<rule>)".
std::u16string BadFilterMessage(int rule);

}  // namespace nb::external
