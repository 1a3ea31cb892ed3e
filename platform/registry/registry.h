// The registry: keys holding subkeys and typed values, under four roots,
// with the system's result codes.
//
// Platform-specific: every root is a store of its own, an SQLite database
// (write-ahead log, synchronous commits) in $XDG_DATA_HOME/nimbra/registry/
// (or $HOME/.local/share/nimbra/registry/), so HKEY_LOCAL_MACHINE and
// HKEY_CLASSES_ROOT are per user too, and HKEY_CLASSES_ROOT is not a merged
// view of the other two. Each call is one transaction: a change is on disk
// when the call returns, other processes see it at once, and a crash never
// leaves half of it. A process keeps each root's database open between calls
// and opens it again after fork, when $XDG_DATA_HOME changes, and when a call
// through a root finds the file removed or replaced. Names of keys and values compare
// case-insensitively and keep the spelling they were created with. Key paths are components
// separated by "\", at most 255 characters each; a path may end in "\" but
// not start with it or hold an empty component. Volatile keys, security
// descriptors, notifications and the 32/64-bit views do not exist here.
#pragma once

#include "platform/automation/wintypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(ULONG_PTR{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(ULONG_PTR{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(ULONG_PTR{0x80000002});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(ULONG_PTR{0x80000003});

// Result codes.
constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
constexpr LSTATUS ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr LSTATUS ERROR_BAD_PATHNAME = 161;
constexpr LSTATUS ERROR_MORE_DATA = 234;
constexpr LSTATUS ERROR_NO_MORE_ITEMS = 259;
constexpr LSTATUS ERROR_BADDB = 1009;
constexpr LSTATUS ERROR_REGISTRY_IO_FAILED = 1016;
constexpr LSTATUS ERROR_KEY_DELETED = 1018;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Access rights a handle is opened with; calls check the ones they need.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key below key (a root or an open handle); an empty or
// null sub_key opens key itself again. ERROR_FILE_NOT_FOUND when missing.
NB_API LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM access, PHKEY result);
// Opens the key, creating it and every missing key on its path first.
// disposition (optional) tells REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
// The class, the security attributes and the non-volatile option are
// accepted and not used; any other option is ERROR_INVALID_PARAMETER.
// Needs KEY_CREATE_SUB_KEY on key.
NB_API LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved, LPWSTR class_name,
                               DWORD options, REGSAM access, const void* security_attributes,
                               PHKEY result, DWORD* disposition);
// Closes a handle from the calls above (closing a root is allowed and does
// nothing). ERROR_INVALID_HANDLE for anything else.
NB_API LSTATUS RegCloseKey(HKEY key);
// The current user's root, as a handle of its own.
NB_API LSTATUS RegOpenCurrentUser(REGSAM access, PHKEY result);

// Stores size bytes as the value; a null or empty name is the key's default
// value. Needs KEY_SET_VALUE.
NB_API LSTATUS RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD size);
// Reads a value: its type (optional), its bytes, and in *size the byte count
// (data null: only the count). A buffer too small answers ERROR_MORE_DATA
// with the count needed and copies nothing. Strings come back as they were
// stored, terminator included when it was. Needs KEY_QUERY_VALUE.
NB_API LSTATUS RegQueryValueExW(HKEY key, LPCWSTR value_name, DWORD* reserved, DWORD* type,
                                BYTE* data, DWORD* size);
// Removes a value. ERROR_FILE_NOT_FOUND when there is none. Needs
// KEY_SET_VALUE.
NB_API LSTATUS RegDeleteValueW(HKEY key, LPCWSTR value_name);

// Enumeration: index counts from 0 in the order of the upper-cased names
// (compared as UTF-16 code units, low byte first, which is alphabetical
// within Latin-1); ERROR_NO_MORE_ITEMS past the last. A name comes in its
// stored spelling into a buffer whose size in characters, the terminator
// included, is in *name_size; on success *name_size holds the characters
// copied, without the terminator. A name that does not fit with its
// terminator answers ERROR_MORE_DATA, nothing copied and *name_size as it
// was. An index names the same entry only while nothing is added or removed.

// The subkey at index. Keys here have no class and no write time: a class
// buffer receives "" with *class_size 0, a write time is zero. Needs
// KEY_ENUMERATE_SUB_KEYS.
NB_API LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* name_size, DWORD* reserved,
                             LPWSTR class_name, DWORD* class_size, FILETIME* last_write_time);
// The value at index: its name (the default value's is ""), then its type
// and bytes as RegQueryValueExW gives them. Data that does not fit answers
// ERROR_MORE_DATA with the name and type filled in and *data_size the count
// needed. Needs KEY_QUERY_VALUE.
NB_API LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR value_name, DWORD* value_name_size,
                             DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size);

// Removes a key that has no subkeys (ERROR_ACCESS_DENIED when it has).
// sub_key must not be null; empty means key itself (not a root).
NB_API LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR sub_key);
// Removes sub_key with all its subkeys and values. With a null sub_key,
// removes everything below key and its values, keeping key.
NB_API LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR sub_key);
