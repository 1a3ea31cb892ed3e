// Formatting and converting text handed between native code and scripts.
#pragma once

#include "platform/automation/wintypes.h"
#include "platform/text/code_pages.h"

// The largest capacity NB_SPRINTF accepts: 1022 bytes of text buffer.
constexpr int NB_SPRINTF_MAX_CAPACITY = 511;
// Results of this many characters or more are refused.
constexpr int NB_SPRINTF_MAX_RESULT = 512;

// Formats with the wsprintf rules (see platform/text/format.h) into buffer,
// whose capacity in characters includes the terminating zero. Returns 0 for
// a null buffer or format or a capacity outside 1..511 (nothing written),
// and 0 with an empty text when the result has 512 or more characters or
// does not fit the capacity; otherwise the length of the terminated text.
int NB_SPRINTF(LPWSTR buffer, int capacity, LPCWSTR format, ...);

// Converts zero-terminated narrow text (callers pass CP_THREAD_ACP; every
// code page is UTF-8 here) into wide_buffer of capacity characters. Returns
// null for a null input or output, a capacity below 1 or a failed
// conversion (too small included), with the output left terminated when it
// could be written; otherwise the output buffer.
LPWSTR NB_TO_WIDE(LPWSTR wide_buffer, const char* narrow_text, int capacity, UINT code_page);
// The reverse, with the capacity in bytes.
char* NB_TO_NARROW(char* narrow_buffer, LPCWSTR wide_text, int capacity, UINT code_page);
