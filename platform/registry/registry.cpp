#include "platform/registry/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

#include "platform/registry/registry_store.h"

using nb::registry::Store;

namespace {

constexpr ULONG_PTR kFirstRoot = 0x80000000;
constexpr int kRootCount = 4;
constexpr int kCurrentUserRoot = 1;
constexpr REGSAM kAllAccess = 0xFFFFFFFF;
constexpr std::size_t kMaxValueNameLength = 16383;

// An open key: the root's store and the key's row. Handles are checked
// against the set of live ones, so a stale or foreign handle is answered
// with ERROR_INVALID_HANDLE instead of being followed.
struct KeyHandle {
    int root;
    std::int64_t key;
    REGSAM access;
};

// Guards the handle set and the open stores and keeps this process's calls
// one at a time; other processes are kept apart by the database's own locks.
std::mutex g_lock;
std::unordered_set<KeyHandle*> g_handles;

// Each root's store stays open from call to call, so that a call costs its
// transaction and not the opening of the database. Every transaction reads
// the file as committed, so other processes' changes show at once.
struct OpenStore {
    std::unique_ptr<Store> store;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    pid_t process = 0;
};
OpenStore g_stores[kRootCount];

// Whether a call looks at the store's file before using the open store: a
// call through a root does (opening and creating keys start there), a call
// through an opened key keeps to the store its key was found in.
enum class FileCheck { kCheck, kTrust };

// The root's open store, opened again when the data folder moved (another
// $XDG_DATA_HOME), in a child after fork, which must not use its parent's
// connection, and, when checked, when its file was removed or replaced (the
// connection would go on with the old one).
LSTATUS StoreOf(int root, FileCheck check, Store*& store) {
    OpenStore& open = g_stores[root];
    const std::string path = nb::registry::StorePath(root);
    struct stat file {};
    if (open.store && open.process == ::getpid() && open.path == path &&
        (check == FileCheck::kTrust || (::stat(path.c_str(), &file) == 0 &&
                                        file.st_dev == open.device && file.st_ino == open.inode))) {
        store = open.store.get();
        return ERROR_SUCCESS;
    }
    if (open.process != ::getpid()) {
        // The parent's connection is neither used nor closed here: closing it
        // would touch the database on the parent's behalf.
        static_cast<void>(open.store.release());
    }
    open = OpenStore{};
    std::unique_ptr<Store> opened;
    LSTATUS status = Store::Open(path, opened);
    if (status != ERROR_SUCCESS) return status;
    if (::stat(path.c_str(), &file) != 0) return ERROR_REGISTRY_IO_FAILED;
    open = OpenStore{std::move(opened), path, file.st_dev, file.st_ino, ::getpid()};
    store = open.store.get();
    return ERROR_SUCCESS;
}

bool IsRoot(HKEY key) {
    auto value = reinterpret_cast<ULONG_PTR>(key);
    return value >= kFirstRoot && value < kFirstRoot + kRootCount;
}

// What a handle names, with access rights; nothing for a bad handle.
std::optional<KeyHandle> Resolve(HKEY key) {
    auto value = reinterpret_cast<ULONG_PTR>(key);
    if (IsRoot(key))
        return KeyHandle{static_cast<int>(value - kFirstRoot), nb::registry::kRootKeyId,
                         kAllAccess};
    auto* handle = reinterpret_cast<KeyHandle*>(key);
    if (g_handles.count(handle) == 0) return std::nullopt;
    return *handle;
}

LSTATUS NewHandle(int root, std::int64_t key, REGSAM access, PHKEY result) {
    auto* handle = new (std::nothrow) KeyHandle{root, key, access};
    if (!handle) return ERROR_NOT_ENOUGH_MEMORY;
    g_handles.insert(handle);
    *result = reinterpret_cast<HKEY>(handle);
    return ERROR_SUCCESS;
}

std::u16string_view TextOf(LPCWSTR text) { return text ? std::u16string_view(text) : u""; }

// The type, and the bytes into a buffer of *size bytes, as a query answers
// them: *size becomes the count, ERROR_MORE_DATA when they do not fit.
LSTATUS CopyValue(const nb::registry::StoredValue& value, DWORD* type, BYTE* data, DWORD* size) {
    if (type) *type = value.type;
    auto needed = static_cast<DWORD>(value.data.size());
    if (!size) return ERROR_SUCCESS;
    DWORD capacity = *size;
    *size = needed;
    if (!data) return ERROR_SUCCESS;
    if (capacity < needed) return ERROR_MORE_DATA;
    if (needed) std::memcpy(data, value.data.data(), needed);
    return ERROR_SUCCESS;
}

// Copies a name with its terminator into a buffer of *size characters.
LSTATUS CopyName(std::u16string_view name, LPWSTR buffer, DWORD* size) {
    if (name.size() >= *size) return ERROR_MORE_DATA;
    name.copy(buffer, name.size());
    buffer[name.size()] = u'\0';
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Runs body inside one transaction of the handle's store, after checking
// the handle, its rights and that its key still exists; commits when body
// succeeds, rolls back otherwise.
template <typename Body>
LSTATUS InKey(HKEY key, REGSAM needed, Store::Access access, Body&& body) {
    std::optional<KeyHandle> handle = Resolve(key);
    if (!handle) return ERROR_INVALID_HANDLE;
    if ((handle->access & needed) != needed) return ERROR_ACCESS_DENIED;
    Store* store = nullptr;
    LSTATUS status =
        StoreOf(handle->root, IsRoot(key) ? FileCheck::kCheck : FileCheck::kTrust, store);
    if (status == ERROR_SUCCESS) status = store->Begin(access);
    bool exists = false;
    if (status == ERROR_SUCCESS) status = store->KeyExists(handle->key, exists);
    if (status == ERROR_SUCCESS && !exists) status = ERROR_KEY_DELETED;
    if (status == ERROR_SUCCESS) status = body(*store, *handle);
    if (status == ERROR_SUCCESS) status = store->Commit();
    if (status != ERROR_SUCCESS && store) store->Rollback();
    return status;
}

}  // namespace

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD, REGSAM access, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    nb::registry::KeyPath path = nb::registry::SplitKeyPath(TextOf(sub_key));
    if (path.status != ERROR_SUCCESS) return path.status;
    std::lock_guard lock(g_lock);
    std::int64_t found = 0;
    int root = 0;
    LSTATUS status = InKey(key, 0, Store::Access::kRead, [&](Store& store, KeyHandle& handle) {
        root = handle.root;
        return store.FindKey(handle.key, path.components, found);
    });
    return status == ERROR_SUCCESS ? NewHandle(root, found, access, result) : status;
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD, LPWSTR, DWORD options, REGSAM access,
                        const void*, PHKEY result, DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
    nb::registry::KeyPath path = nb::registry::SplitKeyPath(TextOf(sub_key));
    if (path.status != ERROR_SUCCESS) return path.status;
    std::lock_guard lock(g_lock);
    std::int64_t found = 0;
    int root = 0;
    bool created = false;
    LSTATUS status =
        InKey(key, KEY_CREATE_SUB_KEY, Store::Access::kWrite, [&](Store& store, KeyHandle& handle) {
            root = handle.root;
            return store.CreateKey(handle.key, path.components, found, created);
        });
    if (status != ERROR_SUCCESS) return status;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return NewHandle(root, found, access, result);
}

LSTATUS RegCloseKey(HKEY key) {
    if (IsRoot(key)) return ERROR_SUCCESS;
    std::lock_guard lock(g_lock);
    auto* handle = reinterpret_cast<KeyHandle*>(key);
    if (g_handles.erase(handle) == 0) return ERROR_INVALID_HANDLE;
    delete handle;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenCurrentUser(REGSAM access, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_lock);
    return NewHandle(kCurrentUserRoot, nb::registry::kRootKeyId, access, result);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD, DWORD type, const BYTE* data,
                       DWORD size) {
    if (!data && size != 0) return ERROR_INVALID_PARAMETER;
    std::u16string_view name = TextOf(value_name);
    if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    std::string bytes(reinterpret_cast<const char*>(data), data ? size : 0);
    std::lock_guard lock(g_lock);
    return InKey(key, KEY_SET_VALUE, Store::Access::kWrite, [&](Store& store, KeyHandle& handle) {
        return store.SetValue(handle.key, name, type, bytes);
    });
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR value_name, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* size) {
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    std::u16string_view name = TextOf(value_name);
    std::lock_guard lock(g_lock);
    std::optional<nb::registry::StoredValue> value;
    LSTATUS status = InKey(
        key, KEY_QUERY_VALUE, Store::Access::kRead,
        [&](Store& store, KeyHandle& handle) { return store.GetValue(handle.key, name, value); });
    if (status != ERROR_SUCCESS) return status;
    if (!value) return ERROR_FILE_NOT_FOUND;
    return CopyValue(*value, type, data, size);
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR value_name) {
    std::u16string_view name = TextOf(value_name);
    std::lock_guard lock(g_lock);
    return InKey(key, KEY_SET_VALUE, Store::Access::kWrite, [&](Store& store, KeyHandle& handle) {
        bool deleted = false;
        LSTATUS status = store.DeleteValue(handle.key, name, deleted);
        return status == ERROR_SUCCESS && !deleted ? ERROR_FILE_NOT_FOUND : status;
    });
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* name_size, DWORD* reserved,
                      LPWSTR class_name, DWORD* class_size, FILETIME* last_write_time) {
    if (!name || !name_size || reserved || (class_name && !class_size))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_lock);
    std::optional<std::u16string> found;
    LSTATUS status = InKey(
        key, KEY_ENUMERATE_SUB_KEYS, Store::Access::kRead,
        [&](Store& store, KeyHandle& handle) { return store.SubkeyAt(handle.key, index, found); });
    if (status != ERROR_SUCCESS) return status;
    if (!found) return ERROR_NO_MORE_ITEMS;
    status = CopyName(*found, name, name_size);
    if (status != ERROR_SUCCESS) return status;
    if (class_name && *class_size > 0) class_name[0] = u'\0';
    if (class_size) *class_size = 0;
    if (last_write_time) *last_write_time = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR value_name, DWORD* value_name_size,
                      DWORD* reserved, DWORD* type, BYTE* data, DWORD* data_size) {
    if (!value_name || !value_name_size || reserved || (data && !data_size))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_lock);
    std::optional<nb::registry::NamedValue> found;
    LSTATUS status = InKey(
        key, KEY_QUERY_VALUE, Store::Access::kRead,
        [&](Store& store, KeyHandle& handle) { return store.ValueAt(handle.key, index, found); });
    if (status != ERROR_SUCCESS) return status;
    if (!found) return ERROR_NO_MORE_ITEMS;
    status = CopyName(found->name, value_name, value_name_size);
    if (status != ERROR_SUCCESS) return status;
    return CopyValue(found->value, type, data, data_size);
}

namespace {

enum class DeleteMode { kLeafOnly, kTree };

LSTATUS DeleteKey(HKEY key, std::u16string_view sub_key, DeleteMode mode) {
    nb::registry::KeyPath path = nb::registry::SplitKeyPath(sub_key);
    if (path.status != ERROR_SUCCESS) return path.status;
    std::lock_guard lock(g_lock);
    return InKey(key, 0, Store::Access::kWrite, [&](Store& store, KeyHandle& handle) {
        std::int64_t target = 0;
        LSTATUS status = store.FindKey(handle.key, path.components, target);
        if (status != ERROR_SUCCESS) return status;
        // A root stays, whatever the path that led to it.
        if (target == nb::registry::kRootKeyId) return ERROR_ACCESS_DENIED;
        if (mode == DeleteMode::kLeafOnly) {
            bool has_subkeys = false;
            status = store.HasSubkeys(target, has_subkeys);
            if (status == ERROR_SUCCESS && has_subkeys) status = ERROR_ACCESS_DENIED;
            if (status != ERROR_SUCCESS) return status;
        }
        return store.RemoveTree(target, Store::Removal::kContentsAndKey);
    });
}

}  // namespace

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR sub_key) {
    if (!sub_key) return ERROR_INVALID_PARAMETER;
    return DeleteKey(key, sub_key, DeleteMode::kLeafOnly);
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR sub_key) {
    if (sub_key) return DeleteKey(key, sub_key, DeleteMode::kTree);
    std::lock_guard lock(g_lock);
    return InKey(key, 0, Store::Access::kWrite, [&](Store& store, KeyHandle& handle) {
        return store.RemoveTree(handle.key, Store::Removal::kContents);
    });
}
