// Registry and jar reads: what a page's EX_GetRegVal and EX_GetJarVal cost
// through the bridge (Execute as nbrun and the shell call it, without a
// process start), each beside a reference measured in the same run:
//   - the same SQLite row read directly, its statement prepared once;
//   - the same INI key found by reading the file and scanning its text;
//   - one value read from a store of 10,000 values against one of 10.
// The registry and the application directory are private to the run: a
// temporary folder holds the stores and links to the built modules. The two
// sides of each row take turns, so a change in the load hits both alike.
#include <fcntl.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "common/script_array.h"
#include "platform/automation/automation.h"
#include "platform/kernel/fd_io.h"
#include "platform/kernel/unique_fd.h"
#include "platform/profile/profile.h"
#include "platform/registry/registry_key.h"
#include "platform/text/case_fold.h"
#include "platform/text/code_pages.h"
#include "shell/bridge/extension_bridge.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using nb::bridge::ExtensionBridge;

constexpr int kRepeats = 5;
constexpr int kReads = 5000;
// A jar is read whole, so a large one gets fewer reads.
constexpr int kLargeJarReads = 50;
constexpr int kSmallStore = 10;
constexpr int kLargeStore = 10000;
constexpr char16_t kKey[] = u"Software\\Bench";
constexpr char16_t kText[] = u"a value of some forty characters or so..";

// One run of work, per operation, in microseconds.
double Microseconds(int operations, const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / operations;
}

// The fastest of several runs of each, measured and reference taking turns,
// so a change in the machine's load hits both alike.
struct Pair {
    double measured = 1e300;
    double reference = 1e300;
};
Pair BestOfTurns(const std::function<double()>& measured,
                 const std::function<double()>& reference) {
    Pair best;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        best.measured = std::min(best.measured, measured());
        best.reference = std::min(best.reference, reference());
    }
    return best;
}

std::u16string ValueName(int i) { return u"Value" + nb::ToUtf16(std::to_string(i)); }

// A store of count text values under kKey, in its own data folder.
void FillStore(const std::string& data_home, int count) {
    ::setenv("XDG_DATA_HOME", data_home.c_str(), 1);
    nb::UniqueKey key;
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr);
    const auto* bytes = reinterpret_cast<const BYTE*>(kText);
    for (int i = 0; i < count; ++i)
        RegSetValueExW(key.Get(), ValueName(i).c_str(), 0, REG_SZ, bytes, sizeof kText);
}

// A jar of count keys in one section, written in one go.
void FillJar(const std::string& path, int count) {
    std::string text = "[Other]\nx=1\n[Bench]\n";
    for (int i = 0; i < count; ++i)
        text += "Value" + std::to_string(i) + "=" + nb::ToUtf8(kText) + "\n";
    nb::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!nb::WriteFully(file.Get(), text)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

// A page's call: Execute(name, [arguments...]) with the list made once.
class PageCall {
   public:
    PageCall(ExtensionBridge& bridge, const std::u16string& name) : m_bridge(bridge), m_name(name) {
        if (FAILED(NB_ARRAY_CREATE(&m_list))) std::fprintf(stderr, "no script arrays\n");
    }
    PageCall& Add(LONG number) {
        NB_ARRAY_ADDINT(&m_list, m_count++, number);
        return *this;
    }
    PageCall& Add(const std::u16string& text) {
        NB_ARRAY_ADDSTRING(&m_list, m_count++, text.c_str());
        return *this;
    }
    // The result as text ("" for a failure, which is also printed).
    std::u16string operator()() {
        VARIANT arguments[2] = {m_list, {}};
        arguments[1].vt = VT_BSTR;
        arguments[1].bstrVal = m_name.Get();
        DISPPARAMS params{arguments, nullptr, 2, 0};
        nb::Variant result;
        EXCEPINFO exception{};
        const HRESULT hr = m_bridge.Execute(&params, DISPATCH_METHOD, &result, &exception, nullptr);
        if (FAILED(hr) || result.vt != VT_BSTR) {
            std::fprintf(stderr, "call failed: 0x%08X\n", static_cast<unsigned>(hr));
            return {};
        }
        return std::u16string(result.bstrVal, SysStringLen(result.bstrVal));
    }

   private:
    ExtensionBridge& m_bridge;
    nb::Bstr m_name;
    nb::Variant m_list;
    int m_count = 0;
};

double TimeCalls(PageCall& call, const std::u16string& expected, int reads) {
    if (call() != expected) std::fprintf(stderr, "wrong result\n");
    return Microseconds(reads, [&] {
        for (int i = 0; i < reads; ++i) call();
    });
}

// The id of the key path below the root, read from the store's tables.
sqlite3_int64 KeyId(sqlite3* database, const std::u16string& path) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(database, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2", -1,
                       &statement, nullptr);
    sqlite3_int64 id = 0;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(u'\\', start), path.size());
        const std::u16string folded = nb::UpperCase(path.substr(start, end - start));
        sqlite3_bind_int64(statement, 1, id);
        sqlite3_bind_blob(statement, 2, folded.data(), static_cast<int>(folded.size() * 2),
                          SQLITE_STATIC);
        id = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
        sqlite3_reset(statement);
        start = end + 1;
    }
    sqlite3_finalize(statement);
    return id;
}

// The value's row read straight from the current user's store: the key's id
// found once, the statement prepared once.
double DirectRowRead(const std::string& data_home, const std::u16string& name) {
    const std::string path = data_home + "/nimbra/registry/HKEY_CURRENT_USER.db";
    sqlite3* database = nullptr;
    sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
    const sqlite3_int64 key = KeyId(database, kKey);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(database, "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2", -1,
                       &statement, nullptr);
    const std::u16string folded = nb::UpperCase(name);
    std::u16string read;
    const double microseconds = Microseconds(kReads, [&] {
        for (int i = 0; i < kReads; ++i) {
            sqlite3_bind_int64(statement, 1, key);
            sqlite3_bind_blob(statement, 2, folded.data(), static_cast<int>(folded.size() * 2),
                              SQLITE_STATIC);
            if (sqlite3_step(statement) == SQLITE_ROW)
                read.assign(static_cast<const char16_t*>(sqlite3_column_blob(statement, 1)),
                            static_cast<std::size_t>(sqlite3_column_bytes(statement, 1)) / 2 - 1);
            sqlite3_reset(statement);
        }
    });
    if (read != kText) std::fprintf(stderr, "direct read found no row\n");
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return microseconds;
}

// The file read whole, then its section and key found by scanning the text.
double DirectIniRead(const std::string& path, const std::string& key, int reads) {
    std::string value;
    std::string buffer(1 << 20, '\0');
    const double microseconds = Microseconds(reads, [&] {
        for (int i = 0; i < reads; ++i) {
            nb::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
            const std::string_view text(
                buffer.data(), nb::ReadFully(file.Get(), buffer.data(), buffer.size()).bytes);
            const std::size_t section = text.find("\n[Bench]\n");
            const std::size_t line = text.find("\n" + key + "=", section);
            const std::size_t start = line + key.size() + 2;
            value = text.substr(start, text.find('\n', start) - start);
        }
    });
    if (nb::ToUtf16(value) != kText) std::fprintf(stderr, "direct scan found no key\n");
    return microseconds;
}

void PrintRow(const char* name, const Pair& pair) {
    std::printf("%-52s %10.2f %12.2f %8.2f\n", name, pair.measured, pair.reference,
                pair.measured / pair.reference);
}

// The application directory: links to the built modules, so that the jar
// is written here.
std::string MakeAppDirectory(const fs::path& folder) {
    const fs::path internals = folder / "app" / "internals";
    fs::create_directories(internals);
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(NB_BENCH_APP_DIR) / "internals"))
        if (entry.path().extension() != ".jar")
            fs::create_symlink(entry.path(), internals / entry.path().filename());
    return (folder / "app").string();
}

int Run(const fs::path& folder) {
    const std::string app = MakeAppDirectory(folder);
    const std::string small = (folder / "small").string(), large = (folder / "large").string();
    FillStore(large, kLargeStore);
    FillStore(small, kSmallStore);
    const std::string jar = app + "/internals/NbExternal.jar";

    NbSetApplicationDirectory(app.c_str());
    const std::unique_ptr<nb::MessageLoop> loop = nb::CreateHeadlessLoop();
    nb::SetCurrentThreadLoop(loop.get());
    SystemInformation system{};
    std::unique_ptr<ExtensionBridge> bridge =
        ExtensionBridge::Create({nullptr, nullptr, &system, nullptr});
    if (!bridge) return 1;

    const std::u16string name = ValueName(kSmallStore / 2);
    PageCall get_reg(*bridge, u"GetRegVal");
    get_reg.Add(4002).Add(kKey).Add(name);
    PageCall get_jar(*bridge, u"GetJarVal");
    get_jar.Add(u"Bench").Add(name);

    const std::string key = nb::ToUtf8(name);
    auto in_store = [&](const std::string& data_home, int reads) {
        ::setenv("XDG_DATA_HOME", data_home.c_str(), 1);
        return TimeCalls(get_reg, kText, reads);
    };
    auto in_jar = [&](int keys, int reads) {
        FillJar(jar, keys);
        return TimeCalls(get_jar, kText, reads);
    };
    auto scan = [&](int keys, int reads) {
        FillJar(jar, keys);
        return DirectIniRead(jar, key, reads);
    };
    const Pair registry = BestOfTurns([&] { return in_store(small, kReads); },
                                      [&] { return DirectRowRead(small, name); });
    const Pair jar_read = BestOfTurns([&] { return in_jar(kSmallStore, kReads); },
                                      [&] { return scan(kSmallStore, kReads); });
    const Pair store_size = BestOfTurns([&] { return in_store(large, kReads); },
                                        [&] { return in_store(small, kReads); });
    const Pair row_size = BestOfTurns([&] { return DirectRowRead(large, name); },
                                      [&] { return DirectRowRead(small, name); });
    const Pair large_registry = BestOfTurns([&] { return in_store(large, kReads); },
                                            [&] { return DirectRowRead(large, name); });
    const Pair jar_size = BestOfTurns([&] { return in_jar(kLargeStore, kLargeJarReads); },
                                      [&] { return in_jar(kSmallStore, kLargeJarReads); });
    const Pair large_jar = BestOfTurns([&] { return in_jar(kLargeStore, kLargeJarReads); },
                                       [&] { return scan(kLargeStore, kLargeJarReads); });

    std::printf("best of %d turns of %d reads (%d with the large jar), microseconds per read\n",
                kRepeats, kReads, kLargeJarReads);
    std::printf("%-52s %10s %12s %8s\n", "", "measured", "reference", "ratio");
    PrintRow("EX_GetRegVal vs the SQLite row, prepared once", registry);
    PrintRow("EX_GetJarVal vs reading the file and a scan", jar_read);
    PrintRow("EX_GetRegVal, 10000-value store vs 10-value", store_size);
    PrintRow("  the SQLite row, 10000-value store vs 10-value", row_size);
    PrintRow("EX_GetRegVal vs the SQLite row, 10000-value store", large_registry);
    PrintRow("EX_GetJarVal, 10000-key jar vs 10-key jar", jar_size);
    PrintRow("EX_GetJarVal vs reading and a scan, 10000-key jar", large_jar);
    bridge.reset();
    nb::SetCurrentThreadLoop(nullptr);
    return 0;
}

}  // namespace

int main() {
    std::string pattern = (fs::temp_directory_path() / "storage-bench.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 1;
    const int exit_code = Run(pattern);
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return exit_code;
}
