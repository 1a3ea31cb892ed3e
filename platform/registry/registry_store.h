// One root of the registry in an SQLite database: keys as rows naming their
// parent, values as rows naming their key. Names are kept as UTF-16 bytes
// (exactly as given) beside an upper-cased copy that lookups compare.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

struct sqlite3;

namespace nb::registry {

class StatementCache;

// The key id of the root itself; real keys are numbered from 1 and a number
// is never handed out twice, so a handle to a deleted key stays deleted.
constexpr std::int64_t kRootKeyId = 0;

// "\"-separated components: ERROR_BAD_PATHNAME for a leading "\" or an empty
// component, ERROR_INVALID_PARAMETER for one longer than 255 characters.
struct KeyPath {
    LSTATUS status = ERROR_SUCCESS;
    std::vector<std::u16string> components;
};
KeyPath SplitKeyPath(std::u16string_view path);

struct StoredValue {
    DWORD type = REG_NONE;
    std::string data;
};

struct NamedValue {
    std::u16string name;
    StoredValue value;
};

// The database file of a root (0 to 3, as HKEY_CLASSES_ROOT and the rest
// are numbered): the folder of $XDG_DATA_HOME when absolute, else of $HOME.
std::string StorePath(int root);

class Store {
   public:
    // Opens (and on first use creates) a root's database, at StorePath.
    [[nodiscard]] static LSTATUS Open(const std::string& path, std::unique_ptr<Store>& store);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // A transaction around one call; a write transaction takes the write
    // lock at once, so two writers never deadlock upgrading.
    enum class Access { kRead, kWrite };
    [[nodiscard]] LSTATUS Begin(Access access);
    [[nodiscard]] LSTATUS Commit();
    void Rollback();

    [[nodiscard]] LSTATUS KeyExists(std::int64_t key, bool& exists);
    // Walks the path from key; ERROR_FILE_NOT_FOUND at the first missing one.
    [[nodiscard]] LSTATUS FindKey(std::int64_t key, const std::vector<std::u16string>& path,
                                  std::int64_t& found);
    // Walks the path, creating what is missing; created tells whether the
    // last key is new.
    [[nodiscard]] LSTATUS CreateKey(std::int64_t key, const std::vector<std::u16string>& path,
                                    std::int64_t& found, bool& created);
    [[nodiscard]] LSTATUS HasSubkeys(std::int64_t key, bool& has);
    // Removes the key's subkeys with everything below them and the key's
    // values; with including_key, the key itself too.
    enum class Removal { kContents, kContentsAndKey };
    [[nodiscard]] LSTATUS RemoveTree(std::int64_t key, Removal removal);

    [[nodiscard]] LSTATUS SetValue(std::int64_t key, std::u16string_view name, DWORD type,
                                   std::string_view data);
    [[nodiscard]] LSTATUS GetValue(std::int64_t key, std::u16string_view name,
                                   std::optional<StoredValue>& value);
    [[nodiscard]] LSTATUS DeleteValue(std::int64_t key, std::u16string_view name, bool& deleted);

    // The subkey name or the value at index in the order of upper-cased
    // names; nothing past the last.
    [[nodiscard]] LSTATUS SubkeyAt(std::int64_t key, DWORD index,
                                   std::optional<std::u16string>& name);
    [[nodiscard]] LSTATUS ValueAt(std::int64_t key, DWORD index, std::optional<NamedValue>& value);

   private:
    explicit Store(sqlite3* database);
    // Runs SQL text once (set-up), or a statement of the cache.
    LSTATUS Execute(const char* sql);
    LSTATUS Run(const char* sql);
    sqlite3* m_database;
    std::unique_ptr<StatementCache> m_statements;
};

}  // namespace nb::registry
