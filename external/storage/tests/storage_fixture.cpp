#include "external/storage/tests/storage_fixture.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/kernel/fd_io.h"
#include "platform/kernel/unique_fd.h"
#include "platform/registry/registry_key.h"

namespace nb::external::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(int fd) {
    std::string text;
    char chunk[4096];
    for (;;) {
        const ReadResult read = ReadFully(fd, chunk, sizeof chunk);
        text.append(chunk, read.bytes);
        if (read.failed || read.bytes < sizeof chunk) return text;
    }
}

}  // namespace

ProgramRun RunProgram(const std::vector<std::string>& command) {
    ProgramRun run;
    char errors_name[] = "/tmp/nbstorage-errors.XXXXXX";
    UniqueFd errors(::mkostemp(errors_name, O_CLOEXEC));
    ::unlink(errors_name);
    int out[2];
    if (!errors.IsOpen() || ::pipe2(out, O_CLOEXEC) != 0) return run;
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(errors.Get(), STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    UniqueFd reader(out[0]);
    run.output = ReadAll(reader.Get());
    int status = 0;
    ::waitpid(child, &status, 0);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::lseek(errors.Get(), 0, SEEK_SET);
    run.errors = ReadAll(errors.Get());
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);)
        run.lines.push_back(nlohmann::json::parse(line, nullptr, false));
    return run;
}

std::optional<StoredValue> ReadStored(HKEY root, const std::u16string& key,
                                      const std::u16string& name) {
    UniqueKey opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.Put()) != ERROR_SUCCESS)
        return std::nullopt;
    StoredValue value;
    DWORD size = 0;
    if (RegQueryValueExW(opened.Get(), name.c_str(), nullptr, &value.type, nullptr, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(size + 1);
    if (RegQueryValueExW(opened.Get(), name.c_str(), nullptr, &value.type, value.bytes.data(),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(size);
    return value;
}

void WriteStored(HKEY root, const std::u16string& key, const std::u16string& name,
                 const StoredValue& value) {
    UniqueKey created;
    ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, created.Put(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(created.Get(), name.c_str(), 0, value.type, value.bytes.data(),
                             static_cast<DWORD>(value.bytes.size())),
              ERROR_SUCCESS);
}

StorageFixture::StorageFixture(std::vector<std::string> left_out)
    : m_data_home("XDG_DATA_HOME", m_folder / "data") {
    fs::create_directories(Internals());
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(NB_TEST_APP_DIR) / "internals")) {
        const std::string name = entry.path().filename().string();
        if (std::find(left_out.begin(), left_out.end(), name) != left_out.end()) continue;
        // Nothing of an earlier run's jar in the built directory is taken along.
        if (name.ends_with(".jar")) continue;
        fs::create_symlink(entry.path(), fs::path(Internals()) / name);
    }
}

ProgramRun StorageFixture::Nbrun(const std::string& function, const std::string& json_args) const {
    return RunProgram({NB_NBRUN_PROGRAM, function, json_args, "--app-dir", AppDirectory()});
}

nlohmann::json StorageFixture::Result(const std::string& function,
                                      const std::string& json_args) const {
    const ProgramRun run = Nbrun(function, json_args);
    EXPECT_EQ(run.exit_code, 0) << function << " " << json_args << ": " << run.output << run.errors;
    if (run.lines.size() != 1 || !run.lines[0].contains("result")) {
        ADD_FAILURE() << function << " " << json_args << " printed " << run.output;
        return nullptr;
    }
    return run.lines[0]["result"];
}

}  // namespace nb::external::testing
