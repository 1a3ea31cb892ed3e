// Wide-text formatting with the rules of the Windows wsprintf family.
//
// A conversion is %[-][#][0][width][.precision][size]type:
//   '-' pads on the right with spaces, '0' pads numbers with zeros after the
//   sign or hexadecimal prefix, '#' prefixes non-zero hexadecimal with 0x/0X;
//   width is a minimum and never truncates; precision is the minimum number
//   of digits of a number (at least 1) and the maximum length of a string.
//   size: 'h' (16-bit numbers, narrow text), 'l' or 'w' (32-bit numbers, wide
//   text), 'I64' (64-bit numbers), 'I32', and 'I' alone (pointer-sized).
//   type: d i (signed), u (unsigned), x X (hexadecimal), p (pointer, 16
//   upper-case digits), c (WCHAR), C (CHAR), s (wide text), S (narrow text),
//   % (a percent sign). A zero character prints nothing; a null string
//   prints "(null)"; a character with no meaning as a type is copied.
// Arguments follow the Windows sizes: plain and 'l' numbers are 32-bit
// (int, LONG, DWORD), so a 64-bit value needs 'I64'. There is no floating
// point. Narrow text is UTF-8, like every code page here.
#pragma once

#include <cstdarg>

#include "platform/automation/wintypes.h"

// The wsprintf output ceiling of 1024 bytes: at most 511 characters and the
// terminating zero are ever written.
constexpr int NB_FORMAT_CEILING_CHARS = 512;

// Formats into buffer, writing at most min(capacity, NB_FORMAT_CEILING_CHARS)
// units including the terminating zero, and always terminating. Returns the
// length of the complete text, which exceeds what was written when it did
// not fit; -1 (nothing written) for a null buffer or format or a capacity
// below 1.
NB_API int NbFormatTextV(LPWSTR buffer, int capacity, LPCWSTR format, va_list arguments);
NB_API int NbFormatText(LPWSTR buffer, int capacity, LPCWSTR format, ...);
