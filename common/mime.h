// Content types by file extension. The key of each row is compared with the
// first characters of the extension, ignoring case, so "jsp" matches "JS" and
// "docx" matches "DOC"; the first matching row wins.
#pragma once

#include "platform/automation/wintypes.h"

namespace nb {

// The local server's lookup: extension without its dot (null counts as
// none); pages with the extension "php" are text/html. Returns a task memory
// copy the caller frees with CoTaskMemFree, or null (after the
// allocation-failure box) when no memory can be had.
LPWSTR MimeTypeForExtension(LPCWSTR extension);

// The extension library's lookup: takes a file name or path, uses the text
// after its last "." (a "." as the very last character does not count) and
// has no "php" row. Returns a constant string the caller does not free;
// "application/octet-stream" for a name without an extension or no match.
LPCWSTR MimeTypeForFileName(LPCWSTR file_name);

}  // namespace nb
