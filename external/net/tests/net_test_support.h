// What the network tests share: the shell played by the double, a private
// URL cache and temporary folder, no proxy from the environment unless a
// test sets one, and helpers that run a function to its end.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "external/frame/tests/shell_double.h"
#include "external/frame/tests/test_environment.h"
#include "external/net/tests/loopback_server.h"

namespace nb::external::testing {

// A call an export must refuse with an exception before any worker starts.
struct BadCall {
    const char* name;
    std::vector<TestValue> arguments;
    WORD code;
    const char16_t* description = nullptr;  // checked when given
};
inline void PrintTo(const BadCall& c, std::ostream* os) { *os << c.name; }

class NetTest : public ::testing::Test {
   protected:
    NetTest();

    // The call fails with its code (and description) under source, and no
    // worker registered.
    void ExpectRefusedBeforeAnyThread(const char* export_name, const char16_t* source,
                                      const BadCall& call);

    // Calls the export and answers the worker's thread id (0 when it did
    // not start).
    DWORD Start(const char* export_name, std::initializer_list<TestValue> arguments,
                const char16_t* callback = u"onNet");
    // Runs to the end; the worker's reports.
    std::vector<Report> Run(const char* export_name, std::initializer_list<TestValue> arguments,
                            const char16_t* callback = u"onNet");
    std::vector<Report> Finish(DWORD thread, DWORD timeout_ms = 20000);

    static void ExpectStatusCall(const std::vector<Report>& reports, LONG status);

    // Reports and arguments as the script sees them.
    static LONG Number(const Report& report, std::size_t k) {
        return static_cast<LONG>(report.arguments.at(k - 1).number);
    }
    static const std::u16string& Text(const Report& report, std::size_t k) {
        return report.arguments.at(k - 1).text;
    }

    // A port on which nothing listens.
    static std::uint16_t ClosedPort();

   private:
    // Points the URL cache at a folder while it lives.
    struct CacheSetting {
        explicit CacheSetting(const std::string& folder);
        ~CacheSetting();
    };

    // Members go in reverse: the shell double first, once it has seen every
    // worker end; then the cache setting, the folders and the environment.
    std::vector<std::unique_ptr<ScopedVariable>> m_no_proxy;

   protected:
    TemporaryFolder m_folder;
    TemporaryFolder m_cache;

   private:
    CacheSetting m_cache_setting{m_cache.path()};

   protected:
    ShellDouble m_shell;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);
// Bytes no text encoding would produce by chance: every value, in a long
// non-repeating order.
std::string PatternBytes(std::size_t count);

}  // namespace nb::external::testing
