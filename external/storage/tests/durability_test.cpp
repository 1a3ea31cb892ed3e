// Writers killed with SIGKILL at a random moment of a loop of calls lose
// nothing whose call had returned, leave a store and a jar that read whole,
// and nothing that trips a later write.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "external/storage/tests/storage_fixture.h"
#include "external/storage/tests/storage_loop.h"
#include "platform/kernel/unique_fd.h"
#include "platform/registry/registry_key.h"
#include "platform/text/code_pages.h"

namespace nb::external::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 6;
constexpr int kCallsBeforeTheKill = 3;
constexpr int kMaxKillDelayMs = 40;

enum class Target { kRegistry, kJar };

// What one round of the loop reported before it died: the numbers whose call
// had returned, and the one that may have been in flight.
struct Round {
    std::set<long> returned;
    long in_flight = 0;
};

class Durability : public StorageFixture {
   protected:
    // Starts the loop at first, lets a few calls return, waits a random
    // moment, kills it and collects every number it printed.
    Round KillMidLoop(Target target, long first) {
        Round round;
        int out[2];
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        const std::string mode = target == Target::kRegistry ? "reg" : "jar";
        const std::string first_text = std::to_string(first);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            const std::string app = AppDirectory();
            ::execl(NB_STORAGE_LOOP_PROGRAM, NB_STORAGE_LOOP_PROGRAM, app.c_str(), mode.c_str(),
                    first_text.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        UniqueFd reader(out[0]);
        std::string pending;
        bool killed = false;
        char chunk[256];
        for (ssize_t got; (got = ::read(reader.Get(), chunk, sizeof chunk)) > 0;) {
            pending.append(chunk, static_cast<std::size_t>(got));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                round.returned.insert(std::stol(pending.substr(0, end)));
                pending.erase(0, end + 1);
            }
            if (!killed && round.returned.size() >= kCallsBeforeTheKill) {
                std::this_thread::sleep_for(std::chrono::milliseconds(m_delay(m_random)));
                ::kill(child, SIGKILL);
                killed = true;
            }
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        round.in_flight = round.returned.empty() ? first : *round.returned.rbegin() + 1;
        return round;
    }

    // Every round, each starting after the numbers of the one before.
    std::vector<Round> Rounds(Target target) {
        std::vector<Round> rounds;
        long first = 0;
        for (int i = 0; i < kRounds; ++i) {
            rounds.push_back(KillMidLoop(target, first));
            first = rounds.back().in_flight + 1;
            m_files_left += TemporaryFilesBesideTheJar().size();
        }
        return rounds;
    }

    // Each stored number must have returned or have been in flight; each
    // returned one must be stored.
    static void ExpectExactly(const std::vector<Round>& rounds, const std::set<long>& stored) {
        std::set<long> allowed;
        for (const Round& round : rounds) {
            for (long i : round.returned) EXPECT_TRUE(stored.count(i)) << "lost value " << i;
            allowed.insert(round.returned.begin(), round.returned.end());
            allowed.insert(round.in_flight);
        }
        for (long i : stored) EXPECT_TRUE(allowed.count(i)) << "value " << i << " never written";
    }

    std::vector<std::string> TemporaryFilesBesideTheJar() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(Internals())) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(".NbExternal.jar.")) names.push_back(name);
        }
        return names;
    }

    // Temporary files found beside the jar right after a kill, all rounds.
    std::size_t m_files_left = 0;

   private:
    std::mt19937 m_random{std::random_device{}()};
    std::uniform_int_distribution<int> m_delay{0, kMaxKillDelayMs};
};

TEST_F(Durability, AKilledRegistryWriterKeepsEveryValueThatReturned) {
    const std::vector<Round> rounds = Rounds(Target::kRegistry);

    UniqueKey key;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, ToUtf16(kLoopRegistryKey).c_str(), 0, KEY_READ, key.Put()),
        ERROR_SUCCESS);
    std::set<long> stored;
    for (DWORD index = 0;; ++index) {
        char16_t name[32];
        DWORD size = 32;
        const LSTATUS status =
            RegEnumValueW(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        const long i = std::stol(ToUtf8(std::u16string(name + 1, size - 1)));
        std::u16string value = ToUtf16(LoopValue(i));
        value.push_back(u'\0');
        const std::vector<BYTE> expected(
            reinterpret_cast<const BYTE*>(value.data()),
            reinterpret_cast<const BYTE*>(value.data() + value.size()));
        EXPECT_EQ(ReadStored(HKEY_CURRENT_USER, ToUtf16(kLoopRegistryKey), name),
                  (StoredValue{REG_SZ, expected}))
            << i;
        stored.insert(i);
    }
    ExpectExactly(rounds, stored);
    // The store takes the next write as ever.
    EXPECT_EQ(Result("SetRegVal", R"([4002, "Software\\Loop", "after", 1, 4010])"), nullptr);
}

TEST_F(Durability, AKilledJarWriterLeavesAWholeJar) {
    const std::vector<Round> rounds = Rounds(Target::kJar);

    std::ifstream jar(Jar());
    const std::regex value_line("v([0-9]+)=(.*)");
    std::set<long> stored;
    std::string line;
    ASSERT_TRUE(std::getline(jar, line));
    EXPECT_EQ(line, "[" + std::string(kLoopJarSection) + "]");
    while (std::getline(jar, line)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, value_line)) << "half-written line: " << line;
        const long i = std::stol(match[1]);
        EXPECT_EQ(match[2], LoopValue(i));
        stored.insert(i);
    }
    ExpectExactly(rounds, stored);

    // A writer killed between its temporary file and the rename leaves that
    // file; the next write clears it away and goes through.
    RecordProperty("kills_that_left_a_temporary_file", static_cast<int>(m_files_left));
    EXPECT_EQ(Result("SetJarVal", R"(["after", "key", "value"])"), nullptr);
    EXPECT_EQ(Result("GetJarVal", R"(["after", "key"])"), "value");
    EXPECT_EQ(TemporaryFilesBesideTheJar(), std::vector<std::string>{});
}

}  // namespace
}  // namespace nb::external::testing
