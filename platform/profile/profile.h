// The private-profile calls: settings in INI files (see ini_document.h for
// how the text is read and edited).
//
// Platform-specific: the file name is a path used as given (relative to the
// working directory), never searched for in a system folder; the file is
// UTF-8 (a UTF-8 byte order mark is kept; a file starting with the UTF-16LE
// mark is read and written back as UTF-16LE). Writes replace the file
// atomically (a temporary file in the same folder, then a rename) while
// holding an exclusive lock on the folder, so readers see the old or the new
// file, never a half-written one, and writers of this layer do not lose each
// other's changes. A writer killed midway leaves its temporary file
// (".<name>." and six characters); the next write there removes it. A
// symbolic link is followed, and the file it names is replaced.
#pragma once

#include "platform/automation/wintypes.h"

// Copies the value of key in section into buffer (size characters, the
// terminator included) and answers the characters copied, the terminator
// excluded; a longer value is cut at size - 1. A missing file, section or key
// gives default_value (null reads as empty) with its trailing blanks removed.
// With a null section, the buffer receives every section name, with a null
// key every key name of the section: each zero-terminated, the list ended by
// a second zero; a list that does not fit is cut and answers size - 2.
NB_API DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR default_value,
                                      LPWSTR buffer, DWORD size, LPCWSTR file_name);

// The key's value read as an integer: blanks, an optional sign, then decimal
// digits, or "0x" and hexadecimal, "0o" and octal, "0b" and binary digits, up
// to the first other character (modulo 2^32; a negative number comes back as
// its two's complement). Text with no digits reads as 0. A missing or empty
// value gives default_value.
NB_API UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT default_value,
                                  LPCWSTR file_name);

// Sets the key's value, creating the file, the section or the key when
// missing. A null value removes the key, a null key the whole section.
// FALSE when the file cannot be read or replaced, and for text that could not
// be read back the same way (a line break anywhere; a key that is empty,
// holds "=" or starts with "[" or ";"). All of section, key and value null
// answers TRUE (there is no cache to flush).
NB_API BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value,
                                       LPCWSTR file_name);
