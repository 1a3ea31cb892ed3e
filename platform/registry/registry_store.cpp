#include "platform/registry/registry_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unordered_map>

#include "platform/text/case_fold.h"

namespace nb::registry {
namespace {

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kRootFileNames[] = {"HKEY_CLASSES_ROOT.db", "HKEY_CURRENT_USER.db",
                                          "HKEY_LOCAL_MACHINE.db", "HKEY_USERS.db"};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  folded BLOB NOT NULL,"
    "  UNIQUE(parent, folded));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  key INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  folded BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, folded));";

// The subkeys below a key (seeded by ?1), at any depth.
constexpr const char* kBelow =
    "WITH RECURSIVE below(id) AS ("
    "  SELECT id FROM keys WHERE parent = ?1"
    "  UNION ALL SELECT keys.id FROM keys JOIN below ON keys.parent = below.id) ";

LSTATUS StatusOf(int code) {
    switch (code & 0xFF) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return ERROR_SUCCESS;
        case SQLITE_NOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return ERROR_BADDB;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

std::string BytesOf(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::string FoldedBytesOf(std::u16string_view text) { return BytesOf(nb::UpperCase(text)); }

std::u16string TextOfBytes(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return text;
}

}  // namespace

// The store's prepared statements, each made on its first use and kept
// until the store closes: preparing costs more than running.
class StatementCache {
   public:
    explicit StatementCache(sqlite3* database) : m_database(database) {}
    ~StatementCache() {
        for (auto& [sql, statement] : m_statements) sqlite3_finalize(statement);
    }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // The statement of sql, or null with the code that refused it.
    sqlite3_stmt* Get(std::string_view sql, int& code) {
        code = SQLITE_OK;
        if (auto found = m_statements.find(sql); found != m_statements.end()) return found->second;
        sqlite3_stmt* statement = nullptr;
        code = sqlite3_prepare_v3(m_database, sql.data(), static_cast<int>(sql.size()),
                                  SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (code != SQLITE_OK) return nullptr;
        m_statements.emplace(sql, statement);
        return statement;
    }

   private:
    // Looked up by the text itself, without a copy.
    struct TextHash : std::hash<std::string_view> {
        using is_transparent = void;
    };
    sqlite3* m_database;
    std::unordered_map<std::string, sqlite3_stmt*, TextHash, std::equal_to<>> m_statements;
};

namespace {

// A statement of the cache, borrowed for one use and reset when the borrower
// goes, so that it holds no lock and no binding between calls.
class Statement {
   public:
    Statement(StatementCache& cache, std::string_view sql) {
        int code = SQLITE_OK;
        m_statement = cache.Get(sql, code);
        m_status = StatusOf(code);
    }
    ~Statement() { Reset(); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    LSTATUS status() const { return m_status; }

    // Ready to run again with new bindings.
    void Reset() {
        if (!m_statement) return;
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }

    Statement& Bind(int index, std::int64_t value) {
        Check(sqlite3_bind_int64(m_statement, index, value));
        return *this;
    }
    Statement& Bind(int index, std::string_view bytes) {
        // Never null, so an empty value is an empty blob rather than NULL.
        static const char kNothing = 0;
        Check(sqlite3_bind_blob64(m_statement, index, bytes.empty() ? &kNothing : bytes.data(),
                                  bytes.size(), SQLITE_TRANSIENT));
        return *this;
    }
    // ERROR_SUCCESS with row true or false, or the failure.
    LSTATUS Step(bool& row) {
        row = false;
        if (m_status != ERROR_SUCCESS) return m_status;
        int code = sqlite3_step(m_statement);
        row = code == SQLITE_ROW;
        return StatusOf(code);
    }
    LSTATUS Run() {
        bool row = false;
        return Step(row);
    }
    std::int64_t Integer(int column) { return sqlite3_column_int64(m_statement, column); }
    std::string Blob(int column) {
        const void* data = sqlite3_column_blob(m_statement, column);
        int size = sqlite3_column_bytes(m_statement, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                    : std::string();
    }

   private:
    void Check(int code) {
        if (m_status == ERROR_SUCCESS) m_status = StatusOf(code);
    }
    sqlite3_stmt* m_statement = nullptr;
    LSTATUS m_status = ERROR_SUCCESS;
};

}  // namespace

KeyPath SplitKeyPath(std::u16string_view path) {
    KeyPath result;
    if (path.empty()) return result;
    if (path.front() == u'\\') return {ERROR_BAD_PATHNAME, {}};
    if (path.back() == u'\\') path.remove_suffix(1);
    for (;;) {
        std::size_t slash = path.find(u'\\');
        std::u16string_view component = path.substr(0, slash);
        if (component.empty()) return {ERROR_BAD_PATHNAME, {}};
        if (component.size() > kMaxKeyNameLength) return {ERROR_INVALID_PARAMETER, {}};
        result.components.emplace_back(component);
        if (slash == std::u16string_view::npos) return result;
        path.remove_prefix(slash + 1);
    }
}

std::string StorePath(int root) {
    std::string base;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
        base = xdg;
    else if (home && home[0] != '\0')
        base = std::string(home) + "/.local/share";
    else
        return {};
    return base + "/nimbra/registry/" + kRootFileNames[root];
}

Store::Store(sqlite3* database)
    : m_database(database), m_statements(std::make_unique<StatementCache>(database)) {}

Store::~Store() {
    m_statements.reset();  // a statement left would keep the database open
    sqlite3_close_v2(m_database);
}

LSTATUS Store::Open(const std::string& path, std::unique_ptr<Store>& store) {
    if (path.empty()) return ERROR_REGISTRY_IO_FAILED;
    std::error_code error;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (std::filesystem::create_directories(folder, error))
        ::chmod(folder.c_str(), 0700);  // the registry is the user's own
    sqlite3* database = nullptr;
    int code =
        sqlite3_open_v2(path.c_str(), &database,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    store.reset(new Store(database));  // closes the handle even when the open failed
    if (code != SQLITE_OK) return StatusOf(code);
    sqlite3_busy_timeout(database, kBusyTimeoutMs);
    // The log mode stays in the file once set; full synchronisation makes a
    // commit survive a power loss, not only a crash of the process.
    LSTATUS status = store->Execute("PRAGMA journal_mode=WAL");
    if (status == ERROR_SUCCESS) status = store->Execute("PRAGMA synchronous=FULL");
    if (status == ERROR_SUCCESS) status = store->Execute(kSchema);
    return status;
}

LSTATUS Store::Execute(const char* sql) {
    return StatusOf(sqlite3_exec(m_database, sql, nullptr, nullptr, nullptr));
}

LSTATUS Store::Run(const char* sql) {
    Statement statement(*m_statements, sql);
    return statement.Run();
}

LSTATUS Store::Begin(Access access) {
    return Run(access == Access::kWrite ? "BEGIN IMMEDIATE" : "BEGIN");
}

LSTATUS Store::Commit() { return Run("COMMIT"); }

void Store::Rollback() {
    if (!sqlite3_get_autocommit(m_database)) static_cast<void>(Run("ROLLBACK"));
}

LSTATUS Store::KeyExists(std::int64_t key, bool& exists) {
    exists = key == kRootKeyId;
    if (exists) return ERROR_SUCCESS;
    Statement statement(*m_statements, "SELECT 1 FROM keys WHERE id = ?1");
    return statement.Bind(1, key).Step(exists);
}

LSTATUS Store::FindKey(std::int64_t key, const std::vector<std::u16string>& path,
                       std::int64_t& found) {
    Statement statement(*m_statements, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
    for (const std::u16string& name : path) {
        bool row = false;
        LSTATUS status = statement.Bind(1, key).Bind(2, FoldedBytesOf(name)).Step(row);
        if (status != ERROR_SUCCESS) return status;
        if (!row) return ERROR_FILE_NOT_FOUND;
        key = statement.Integer(0);
        statement.Reset();
    }
    found = key;
    return ERROR_SUCCESS;
}

LSTATUS Store::CreateKey(std::int64_t key, const std::vector<std::u16string>& path,
                         std::int64_t& found, bool& created) {
    created = false;
    for (const std::u16string& name : path) {
        std::int64_t child = 0;
        LSTATUS status = FindKey(key, {name}, child);
        if (status == ERROR_FILE_NOT_FOUND) {
            Statement insert(*m_statements,
                             "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)");
            status = insert.Bind(1, key).Bind(2, BytesOf(name)).Bind(3, FoldedBytesOf(name)).Run();
            if (status != ERROR_SUCCESS) return status;
            child = sqlite3_last_insert_rowid(m_database);
            created = true;
        } else if (status != ERROR_SUCCESS) {
            return status;
        } else {
            created = false;
        }
        key = child;
    }
    found = key;
    return ERROR_SUCCESS;
}

LSTATUS Store::HasSubkeys(std::int64_t key, bool& has) {
    Statement statement(*m_statements, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    return statement.Bind(1, key).Step(has);
}

LSTATUS Store::RemoveTree(std::int64_t key, Removal removal) {
    Statement values(*m_statements,
                     std::string(kBelow) + "DELETE FROM vals WHERE key = ?1 OR key IN below");
    LSTATUS status = values.Bind(1, key).Run();
    if (status != ERROR_SUCCESS) return status;
    Statement keys(*m_statements, std::string(kBelow) + "DELETE FROM keys WHERE id IN below");
    status = keys.Bind(1, key).Run();
    if (status != ERROR_SUCCESS || removal == Removal::kContents) return status;
    Statement self(*m_statements, "DELETE FROM keys WHERE id = ?1");
    return self.Bind(1, key).Run();
}

LSTATUS Store::SetValue(std::int64_t key, std::u16string_view name, DWORD type,
                        std::string_view data) {
    Statement statement(*m_statements,
                        "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                        " ON CONFLICT(key, folded) DO UPDATE SET type = ?4, data = ?5");
    return statement.Bind(1, key)
        .Bind(2, BytesOf(name))
        .Bind(3, FoldedBytesOf(name))
        .Bind(4, std::int64_t{type})
        .Bind(5, data)
        .Run();
}

LSTATUS Store::GetValue(std::int64_t key, std::u16string_view name,
                        std::optional<StoredValue>& value) {
    value.reset();
    Statement statement(*m_statements,
                        "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2");
    bool row = false;
    LSTATUS status = statement.Bind(1, key).Bind(2, FoldedBytesOf(name)).Step(row);
    if (status == ERROR_SUCCESS && row)
        value = StoredValue{static_cast<DWORD>(statement.Integer(0)), statement.Blob(1)};
    return status;
}

LSTATUS Store::DeleteValue(std::int64_t key, std::u16string_view name, bool& deleted) {
    Statement statement(*m_statements, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
    LSTATUS status = statement.Bind(1, key).Bind(2, FoldedBytesOf(name)).Run();
    deleted = status == ERROR_SUCCESS && sqlite3_changes(m_database) > 0;
    return status;
}

LSTATUS Store::SubkeyAt(std::int64_t key, DWORD index, std::optional<std::u16string>& name) {
    name.reset();
    Statement statement(
        *m_statements, "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded LIMIT 1 OFFSET ?2");
    bool row = false;
    LSTATUS status = statement.Bind(1, key).Bind(2, std::int64_t{index}).Step(row);
    if (status == ERROR_SUCCESS && row) name = TextOfBytes(statement.Blob(0));
    return status;
}

LSTATUS Store::ValueAt(std::int64_t key, DWORD index, std::optional<NamedValue>& value) {
    value.reset();
    Statement statement(
        *m_statements,
        "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded LIMIT 1 OFFSET ?2");
    bool row = false;
    LSTATUS status = statement.Bind(1, key).Bind(2, std::int64_t{index}).Step(row);
    if (status == ERROR_SUCCESS && row)
        value = NamedValue{TextOfBytes(statement.Blob(0)),
                           {static_cast<DWORD>(statement.Integer(1)), statement.Blob(2)}};
    return status;
}

}  // namespace nb::registry
