// The registry and jar functions as a page reaches them: through the real
// nbrun program, with a private registry (XDG_DATA_HOME in a temporary
// folder) and a private application directory whose internals/ links to the
// built modules, so the jar is written beside those links.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "external/frame/tests/test_environment.h"
#include "platform/registry/registry.h"

namespace nb::external::testing {

struct ProgramRun {
    int exit_code = -1;
    std::vector<nlohmann::json> lines;  // standard output, one JSON value a line
    std::string output;                 // standard output as it came
    std::string errors;                 // standard error
};

// Runs a program to its end with these arguments (no shell in between).
ProgramRun RunProgram(const std::vector<std::string>& command);

// The stored type and bytes of a value; nothing when it cannot be read.
struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const StoredValue&) const = default;
};
std::optional<StoredValue> ReadStored(HKEY root, const std::u16string& key,
                                      const std::u16string& name);
void WriteStored(HKEY root, const std::u16string& key, const std::u16string& name,
                 const StoredValue& value);

class StorageFixture : public ::testing::Test {
   protected:
    // Modules left out of the private internals/ folder.
    explicit StorageFixture(std::vector<std::string> left_out = {});

    // nbrun NAME JSON-ARGS --app-dir <private application directory>.
    ProgramRun Nbrun(const std::string& function, const std::string& json_args) const;
    // The value a successful call returned; null (with a failure) otherwise.
    nlohmann::json Result(const std::string& function, const std::string& json_args) const;

    std::string AppDirectory() const { return m_folder / "app"; }
    std::string Internals() const { return m_folder / "app/internals"; }
    std::string Jar() const { return m_folder / "app/internals/NbExternal.jar"; }

   private:
    TemporaryFolder m_folder;
    ScopedVariable m_data_home;
};

}  // namespace nb::external::testing
