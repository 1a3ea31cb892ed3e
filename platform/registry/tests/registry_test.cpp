// The registry over real SQLite files in a temporary data folder.
#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/registry/registry_key.h"

namespace {

namespace fs = std::filesystem;

constexpr const char16_t* kClassKey = u"CLSID\\{AC0ECD03-E268-46B1-AF97-12272E1F9943}";
constexpr const char16_t* kAppIdKey = u"AppID\\{AC0ECDFF-E268-46B1-AF97-12272E1F9943}";

LSTATUS SetText(HKEY key, LPCWSTR name, std::u16string_view text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>((text.size() + 1) * 2));
}

// The stored text without its terminator, or the failure's code as text.
std::u16string GetText(HKEY key, LPCWSTR sub_key, LPCWSTR name) {
    nb::UniqueKey opened;
    LSTATUS status = RegOpenKeyExW(key, sub_key, 0, KEY_READ, opened.Put());
    if (status != ERROR_SUCCESS) return u"open failed";
    char16_t buffer[256] = {};
    DWORD size = sizeof buffer - 2;
    DWORD type = 0;
    status = RegQueryValueExW(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                              &size);
    if (status != ERROR_SUCCESS) return u"query failed";
    return std::u16string(buffer, size / 2 - (size >= 2 && buffer[size / 2 - 1] == 0 ? 1 : 0));
}

bool KeyExists(HKEY key, LPCWSTR sub_key) {
    nb::UniqueKey opened;
    return RegOpenKeyExW(key, sub_key, 0, KEY_READ, opened.Put()) == ERROR_SUCCESS;
}

class RegistryTest : public testing::Test {
   protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nb-registry-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        ::setenv("XDG_DATA_HOME", m_dir.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_DATA_HOME");
        fs::remove_all(m_dir);
    }
    fs::path StoreFile(const char* root) const { return m_dir / "nimbra" / "registry" / root; }

    fs::path m_dir;
};

// The shell's registration: the application id and class scripts, then
// unregistration, which removes the class key whole and keeps the AppID.
TEST_F(RegistryTest, RegistrationScriptsApplyAndUndo) {
    {
        nb::UniqueKey app_id;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kAppIdKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, nullptr, app_id.Put(), &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
        EXPECT_EQ(SetText(app_id.Get(), nullptr, u"NbBrowser"), ERROR_SUCCESS);
        nb::UniqueKey exe;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"AppID\\NbBrowser.EXE", 0, nullptr, 0,
                                  KEY_WRITE, nullptr, exe.Put(), nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(SetText(exe.Get(), u"AppID", u"{AC0ECDFF-E268-46B1-AF97-12272E1F9943}"),
                  ERROR_SUCCESS);

        nb::UniqueKey clsid;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, clsid.Put(), nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(SetText(clsid.Get(), u"", u"BrowserCustomizer Class"), ERROR_SUCCESS);
        for (const char16_t* sub :
             {u"ProgID", u"VersionIndependentProgID", u"Programmable", u"LocalServer32"}) {
            nb::UniqueKey child;
            ASSERT_EQ(RegCreateKeyExW(clsid.Get(), sub, 0, nullptr, 0, KEY_WRITE, nullptr,
                                      child.Put(), nullptr),
                      ERROR_SUCCESS);
            if (std::u16string_view(sub) == u"LocalServer32") {
                EXPECT_EQ(SetText(child.Get(), nullptr, u"/opt/app/NbBrowser"), ERROR_SUCCESS);
            }
        }
    }
    // Opening an existing key reports it; names match in any case.
    nb::UniqueKey again;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"appid\\NBBROWSER.exe", 0, nullptr, 0, KEY_READ,
                              nullptr, again.Put(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(GetText(HKEY_CLASSES_ROOT,
                      u"clsid\\{ac0ecd03-e268-46b1-af97-12272e1f9943}\\localserver32", nullptr),
              u"/opt/app/NbBrowser");
    EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, u"AppID\\NbBrowser.EXE", u"appid"),
              u"{AC0ECDFF-E268-46B1-AF97-12272E1F9943}");
    EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, kClassKey, nullptr), u"BrowserCustomizer Class");

    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT,
                           u"CLSID\\{AC0ECD03-E268-46B1-AF97-12272E1F9943}\\LocalServer32"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kAppIdKey));
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, QueriesFollowTheSystemsBufferRules) {
    nb::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Nimbra", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    const BYTE binary[] = {0x0A, 0xFF};
    const DWORD number = 0x12345678;
    const char16_t multi[] = u"a\0b\0";  // two strings and the closing zero
    ASSERT_EQ(RegSetValueExW(key.Get(), u"Bin", 0, REG_BINARY, binary, 2), ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExW(key.Get(), u"Num", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), u"Multi", 0, REG_MULTI_SZ,
                             reinterpret_cast<const BYTE*>(multi), sizeof multi),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), u"Empty", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    // Replacing changes type and data.
    ASSERT_EQ(SetText(key.Get(), u"num", u"text now"), ERROR_SUCCESS);

    struct Case {
        const char16_t* name;
        DWORD capacity;  // 0xFFFFFFFF: no data buffer
        LSTATUS status;
        DWORD type;
        DWORD size;
    };
    constexpr DWORD kNoBuffer = 0xFFFFFFFF;
    const Case cases[] = {
        {u"Bin", 2, ERROR_SUCCESS, REG_BINARY, 2},
        {u"BIN", 1, ERROR_MORE_DATA, REG_BINARY, 2},
        {u"bin", kNoBuffer, ERROR_SUCCESS, REG_BINARY, 2},
        {u"Num", 100, ERROR_SUCCESS, REG_SZ, 18},
        {u"Multi", 10, ERROR_SUCCESS, REG_MULTI_SZ, 10},
        {u"Multi", 9, ERROR_MORE_DATA, REG_MULTI_SZ, 10},
        {u"Empty", 4, ERROR_SUCCESS, REG_SZ, 0},
        {u"Missing", 4, ERROR_FILE_NOT_FOUND, 0, 4},
        {nullptr, 4, ERROR_FILE_NOT_FOUND, 0, 4},  // default value never set
    };
    for (const Case& c : cases) {
        BYTE buffer[128];
        std::memset(buffer, 0xCC, sizeof buffer);
        DWORD type = 0;
        DWORD size = c.capacity == kNoBuffer ? 0 : c.capacity;
        EXPECT_EQ(RegQueryValueExW(key.Get(), c.name, nullptr, &type,
                                   c.capacity == kNoBuffer ? nullptr : buffer, &size),
                  c.status);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(size, c.size);
        if (c.status == ERROR_MORE_DATA) {
            EXPECT_EQ(buffer[0], 0xCC);  // nothing copied
        }
    }
    BYTE buffer[4];
    DWORD size = 4;
    ASSERT_EQ(RegQueryValueExW(key.Get(), u"Bin", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(buffer[0], 0x0A);
    EXPECT_EQ(buffer[1], 0xFF);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExW(key.Get(), u"Bin", &reserved, nullptr, buffer, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key.Get(), u"Bin", nullptr, nullptr, buffer, nullptr),
              ERROR_INVALID_PARAMETER);

    EXPECT_EQ(RegDeleteValueW(key.Get(), u"BIN"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key.Get(), u"Bin"), ERROR_FILE_NOT_FOUND);
}

// Every name of a key's subkeys (kind kKeys) or values, by index until
// ERROR_NO_MORE_ITEMS; a failure ends the list with "failed".
enum class Listing { kKeys, kValues };
std::vector<std::u16string> NamesOf(HKEY key, Listing listing) {
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        char16_t name[300];
        DWORD size = 300;
        LSTATUS status =
            listing == Listing::kKeys
                ? RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr)
                : RegEnumValueW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return names;
        if (status != ERROR_SUCCESS || name[size] != u'\0') {
            names.push_back(u"failed");
            return names;
        }
        names.emplace_back(name, size);
    }
}

TEST_F(RegistryTest, EnumerationListsDirectSubkeysAndValuesInNameOrder) {
    nb::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\List", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    for (const char16_t* path : {u"beta", u"Alpha", u"gamma\\deep"}) {
        nb::UniqueKey child;
        ASSERT_EQ(RegCreateKeyExW(key.Get(), path, 0, nullptr, 0, KEY_WRITE, nullptr, child.Put(),
                                  nullptr),
                  ERROR_SUCCESS);
    }
    const DWORD number = 7;
    ASSERT_EQ(SetText(key.Get(), u"Zed", u"last"), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), u"alpha", u"first"), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), nullptr, u"default"), ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExW(key.Get(), u"Mid", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
        ERROR_SUCCESS);

    EXPECT_EQ(NamesOf(key.Get(), Listing::kKeys),
              (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));
    EXPECT_EQ(NamesOf(key.Get(), Listing::kValues),
              (std::vector<std::u16string>{u"", u"alpha", u"Mid", u"Zed"}));
    nb::UniqueKey deep;
    ASSERT_EQ(RegOpenKeyExW(key.Get(), u"GAMMA\\deep", 0, KEY_READ, deep.Put()), ERROR_SUCCESS);
    EXPECT_TRUE(NamesOf(deep.Get(), Listing::kKeys).empty());
    EXPECT_TRUE(NamesOf(deep.Get(), Listing::kValues).empty());

    // A value comes with its type and bytes.
    char16_t name[8];
    DWORD name_size = 8;
    DWORD type = 0;
    DWORD read = 0;
    DWORD size = sizeof read;
    ASSERT_EQ(RegEnumValueW(key.Get(), 2, name, &name_size, nullptr, &type,
                            reinterpret_cast<BYTE*>(&read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, name_size), u"Mid");
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(read, 7u);
    // Keys have no class and no write time.
    char16_t class_name[4] = u"xyz";
    DWORD class_size = 4;
    FILETIME written{1, 1};
    name_size = 8;
    ASSERT_EQ(
        RegEnumKeyExW(key.Get(), 1, name, &name_size, nullptr, class_name, &class_size, &written),
        ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, name_size), u"beta");
    EXPECT_EQ(class_name[0], u'\0');
    EXPECT_EQ(class_size, 0u);
    EXPECT_EQ(written.dwLowDateTime | written.dwHighDateTime, 0u);
}

TEST_F(RegistryTest, EnumerationFollowsTheSystemsBufferRules) {
    nb::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Buffers", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    nb::UniqueKey child;
    ASSERT_EQ(RegCreateKeyExW(key.Get(), u"Alpha", 0, nullptr, 0, KEY_WRITE, nullptr, child.Put(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), u"Alpha", u"first"), ERROR_SUCCESS);  // 12 bytes

    // Name buffers count characters with the terminator; data buffers bytes.
    struct Case {
        Listing listing;
        DWORD index;
        DWORD name_capacity;
        DWORD data_capacity;  // kNoData: no data buffer
        LSTATUS status;
        DWORD name_size;  // after the call
        DWORD data_size;
    };
    constexpr DWORD kNoData = 0xFFFFFFFF;
    const Case cases[] = {
        {Listing::kKeys, 0, 6, kNoData, ERROR_SUCCESS, 5, 0},
        {Listing::kKeys, 0, 5, kNoData, ERROR_MORE_DATA, 5, 0},
        {Listing::kKeys, 0, 0, kNoData, ERROR_MORE_DATA, 0, 0},
        {Listing::kKeys, 1, 6, kNoData, ERROR_NO_MORE_ITEMS, 6, 0},
        {Listing::kValues, 0, 6, 12, ERROR_SUCCESS, 5, 12},
        {Listing::kValues, 0, 6, 11, ERROR_MORE_DATA, 5, 12},
        {Listing::kValues, 0, 5, 12, ERROR_MORE_DATA, 5, 12},
        {Listing::kValues, 0, 6, kNoData, ERROR_SUCCESS, 5, 12},
        {Listing::kValues, 1, 6, 12, ERROR_NO_MORE_ITEMS, 6, 12},
    };
    for (const Case& c : cases) {
        char16_t name[8];
        std::fill(std::begin(name), std::end(name), u'#');
        BYTE data[16];
        std::memset(data, 0xCC, sizeof data);
        DWORD name_size = c.name_capacity;
        DWORD data_size = c.data_capacity == kNoData ? 0 : c.data_capacity;
        const LSTATUS status =
            c.listing == Listing::kKeys
                ? RegEnumKeyExW(key.Get(), c.index, name, &name_size, nullptr, nullptr, nullptr,
                                nullptr)
                : RegEnumValueW(key.Get(), c.index, name, &name_size, nullptr, nullptr,
                                c.data_capacity == kNoData ? nullptr : data, &data_size);
        const int row = static_cast<int>(&c - cases);
        EXPECT_EQ(status, c.status) << row;
        EXPECT_EQ(name_size, c.name_size) << row;
        if (c.listing == Listing::kValues) {
            EXPECT_EQ(data_size, c.data_size) << row;
        }
        // Nothing is copied into a buffer that is too small.
        if (status == ERROR_MORE_DATA) {
            EXPECT_EQ(data[0], 0xCC) << row;
            if (name_size == c.name_capacity) {
                EXPECT_EQ(name[0], u'#') << row;
            }
        }
    }

    char16_t name[8];
    DWORD size = 8;
    DWORD reserved = 0;
    EXPECT_EQ(RegEnumKeyExW(key.Get(), 0, name, &size, &reserved, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExW(key.Get(), 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueW(key.Get(), 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    BYTE data[4];
    EXPECT_EQ(RegEnumValueW(key.Get(), 0, name, &size, nullptr, nullptr, data, nullptr),
              ERROR_INVALID_PARAMETER);

    // Each listing needs its own right.
    nb::UniqueKey values_only;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Buffers", 0, KEY_QUERY_VALUE,
                            values_only.Put()),
              ERROR_SUCCESS);
    size = 8;
    EXPECT_EQ(RegEnumKeyExW(values_only.Get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    nb::UniqueKey keys_only;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Buffers", 0, KEY_ENUMERATE_SUB_KEYS,
                            keys_only.Put()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegEnumValueW(keys_only.Get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegEnumKeyExW(keys_only.Get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
}

TEST_F(RegistryTest, BadPathsAndHandlesAreRefused) {
    const std::u16string long_name(256, u'x');
    struct Case {
        std::u16string path;
        LSTATUS status;
    };
    const Case cases[] = {
        {u"\\Software", ERROR_BAD_PATHNAME},
        {u"Software\\\\Nimbra", ERROR_BAD_PATHNAME},
        {u"Software\\" + long_name, ERROR_INVALID_PARAMETER},
        {u"Software\\Nimbra\\", ERROR_SUCCESS},
        {std::u16string(255, u'y'), ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        nb::UniqueKey key;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, c.path.c_str(), 0, nullptr, 0, KEY_READ,
                                  nullptr, key.Put(), nullptr),
                  c.status);
    }
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Nimbra"));

    HKEY closed = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &closed), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
    int not_a_key = 0;
    HKEY forged = reinterpret_cast<HKEY>(&not_a_key);
    for (HKEY bad : {closed, forged, static_cast<HKEY>(nullptr),
                     reinterpret_cast<HKEY>(ULONG_PTR{0x80000004})}) {
        nb::UniqueKey key;
        EXPECT_EQ(RegOpenKeyExW(bad, u"Software", 0, KEY_READ, key.Put()), ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetText(bad, u"v", u"x"), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);
    nb::UniqueKey missing;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Missing", 0, KEY_READ, missing.Put()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing.Get(), nullptr);
}

TEST_F(RegistryTest, HandlesKeepTheirRightsAndNoticeDeletion) {
    nb::UniqueKey read_only;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\A", 0, nullptr, 0, KEY_READ, nullptr,
                              read_only.Put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(SetText(read_only.Get(), u"v", u"x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(read_only.Get(), u"v"), ERROR_ACCESS_DENIED);
    nb::UniqueKey child;
    EXPECT_EQ(RegCreateKeyExW(read_only.Get(), u"B", 0, nullptr, 0, KEY_READ, nullptr, child.Put(),
                              nullptr),
              ERROR_ACCESS_DENIED);
    nb::UniqueKey write_only;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\A", 0, KEY_SET_VALUE, write_only.Put()),
              ERROR_SUCCESS);
    EXPECT_EQ(SetText(write_only.Get(), u"v", u"x"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(write_only.Get(), u"v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);

    // Deleted under the handle, then created again under the same name: the
    // handle still names the deleted key.
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\A"), ERROR_SUCCESS);
    nb::UniqueKey recreated;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\A", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, recreated.Put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(SetText(write_only.Get(), u"v", u"y"), ERROR_KEY_DELETED);
    size = 0;
    EXPECT_EQ(RegQueryValueExW(recreated.Get(), u"v", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, DeletingKeysAndTrees) {
    for (const char16_t* path : {u"T\\a\\deep\\deeper", u"T\\b", u"Other"}) {
        nb::UniqueKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.Put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(SetText(key.Get(), u"v", path), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"T\\a"), ERROR_ACCESS_DENIED);  // has subkeys
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"T\\b"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"T\\b"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED);  // a root stays

    // Without a sub key, the tree call empties the key and keeps it.
    nb::UniqueKey t;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"T", 0, KEY_ALL_ACCESS, t.Put()), ERROR_SUCCESS);
    ASSERT_EQ(SetText(t.Get(), u"own", u"value"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(t.Get(), nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"T"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"T\\a"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"T\\a\\deep\\deeper"));
    EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, u"T", u"own"), u"query failed");
    EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, u"Other", u"v"), u"Other");
    // Nothing of the deleted keys stays in the store.
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(StoreFile("HKEY_LOCAL_MACHINE.db").c_str(), &database), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(database,
                                 "SELECT (SELECT count(*) FROM keys), (SELECT count(*) FROM vals)",
                                 -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 2);  // T and Other
    EXPECT_EQ(sqlite3_column_int(statement, 1), 1);  // Other's v
    sqlite3_finalize(statement);
    sqlite3_close(database);
}

TEST_F(RegistryTest, EachRootIsAStoreOfItsOwnInWriteAheadLogMode) {
    nb::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Nimbra", 0, nullptr, 0, KEY_WRITE,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), u"Where", u"user"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Nimbra"));
    nb::UniqueKey user;
    ASSERT_EQ(RegOpenCurrentUser(KEY_READ, user.Put()), ERROR_SUCCESS);
    EXPECT_EQ(GetText(user.Get(), u"software\\nimbra", u"where"), u"user");
    EXPECT_EQ(SetText(user.Get(), u"v", u"x"), ERROR_ACCESS_DENIED);  // opened for reading

    ASSERT_TRUE(fs::exists(StoreFile("HKEY_CURRENT_USER.db")));
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(StoreFile("HKEY_CURRENT_USER.db").c_str(), &database), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(database, "PRAGMA journal_mode", -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "wal");
    sqlite3_finalize(statement);
    sqlite3_close(database);
}

TEST_F(RegistryTest, DamagedStoreAnswersWithAnError) {
    fs::create_directories(StoreFile("x").parent_path());
    std::ofstream(StoreFile("HKEY_USERS.db"), std::ios::binary)
        << std::string(4096, 'x');  // not a database
    nb::UniqueKey key;
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_USERS, u"S", 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr),
        ERROR_BADDB);
    EXPECT_EQ(key.Get(), nullptr);
    // The other roots are untouched by it.
    nb::UniqueKey other;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"S", 0, nullptr, 0, KEY_WRITE, nullptr,
                              other.Put(), nullptr),
              ERROR_SUCCESS);
}

// A second process sees what one committed, also when the writer is killed
// right after its call returned.
TEST_F(RegistryTest, OtherProcessesSeeCommittedData) {
    pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Shared", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS ||
            SetText(key, u"From", u"child") != ERROR_SUCCESS)
            ::_exit(1);
        ::kill(::getpid(), SIGKILL);  // no clean shutdown of anything
    }
    int status = 0;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, u"Software\\Shared", u"From"), u"child");

    nb::UniqueKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Shared", 0, KEY_WRITE, key.Put()),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), u"From", u"parent"), ERROR_SUCCESS);
    pid_t reader = ::fork();
    ASSERT_GE(reader, 0);
    if (reader == 0)
        ::_exit(GetText(HKEY_CURRENT_USER, u"Software\\Shared", u"From") == u"parent" ? 0 : 1);
    ASSERT_EQ(::waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Runs body in a child process; true when it answered true.
template <typename Body>
bool InChild(Body body) {
    pid_t child = ::fork();
    if (child == 0) ::_exit(body() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A process keeps its stores open between calls; what other processes
// commit shows at its next call all the same, and a child after fork works
// with stores of its own.
TEST_F(RegistryTest, KeptStoresSeeOtherProcessesAtOnce) {
    nb::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Kept", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), u"V", u"parent"), ERROR_SUCCESS);
    for (const char16_t* text : {u"first child", u"second child"}) {
        EXPECT_TRUE(InChild([&] {
            return GetText(HKEY_CURRENT_USER, u"Software\\Kept", u"V") != u"query failed" &&
                   SetText(key.Get(), u"V", text) == ERROR_SUCCESS;
        }));
        EXPECT_EQ(GetText(HKEY_CURRENT_USER, u"Software\\Kept", u"V"), text);
    }
    ASSERT_EQ(SetText(key.Get(), u"V", u"parent again"), ERROR_SUCCESS);
    EXPECT_TRUE(InChild(
        [] { return GetText(HKEY_CURRENT_USER, u"Software\\Kept", u"V") == u"parent again"; }));
}

// A store is opened again when its file is gone or the data folder moved,
// so no write goes into a file nobody else sees.
TEST_F(RegistryTest, KeptStoresFollowTheirFile) {
    nb::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Moved", 0, nullptr, 0, KEY_WRITE,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(key.Get(), u"V", u"old"), ERROR_SUCCESS);
    fs::remove_all(m_dir / "nimbra");
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, u"Software\\Moved", u"V"), u"open failed");
    EXPECT_EQ(SetText(key.Get(), u"V", u"new"), ERROR_KEY_DELETED);  // its key went with the file
    nb::UniqueKey again;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Moved", 0, nullptr, 0, KEY_WRITE,
                              nullptr, again.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetText(again.Get(), u"V", u"new"), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(StoreFile("HKEY_CURRENT_USER.db")));
    EXPECT_TRUE(
        InChild([] { return GetText(HKEY_CURRENT_USER, u"Software\\Moved", u"V") == u"new"; }));

    const fs::path elsewhere = m_dir / "elsewhere";
    ::setenv("XDG_DATA_HOME", elsewhere.c_str(), 1);
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, u"Software\\Moved", u"V"), u"open failed");
    ::setenv("XDG_DATA_HOME", m_dir.c_str(), 1);
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, u"Software\\Moved", u"V"), u"new");
    EXPECT_TRUE(fs::exists(elsewhere / "nimbra" / "registry" / "HKEY_CURRENT_USER.db"));
}

// The owner closes what it holds exactly once, wherever the handle moved.
TEST_F(RegistryTest, OwnedKeysCloseWhenTheirOwnerGoes) {
    HKEY raw = nullptr;
    {
        nb::UniqueKey opened;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Owned", 0, nullptr, 0, KEY_WRITE,
                                  nullptr, opened.Put(), nullptr),
                  ERROR_SUCCESS);
        raw = opened.Get();
        nb::UniqueKey moved(std::move(opened));
        EXPECT_FALSE(opened.IsOpen());
        nb::UniqueKey assigned;
        assigned = std::move(moved);
        EXPECT_EQ(assigned.Get(), raw);
        EXPECT_EQ(SetText(raw, u"Name", u"kept"), ERROR_SUCCESS);
    }
    EXPECT_EQ(SetText(raw, u"Name", u"late"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, u"Software\\Owned", u"Name"), u"kept");

    // Put closes the key held before handing out its slot.
    nb::UniqueKey reused;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Owned", 0, KEY_READ, reused.Put()),
              ERROR_SUCCESS);
    const HKEY first = reused.Get();
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, reused.Put()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);
}

}  // namespace
