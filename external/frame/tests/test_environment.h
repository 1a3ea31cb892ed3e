// Test helpers around the process environment and temporary folders.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace nb::external::testing {

// Sets (or, with nothing, unsets) a variable while it lives, then restores
// the earlier state. Only while no worker runs: setenv races with getenv.
class ScopedVariable {
   public:
    ScopedVariable(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        Apply(value);
    }
    ~ScopedVariable() { Apply(m_old); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

   private:
    void Apply(const std::optional<std::string>& value) {
        if (value)
            setenv(m_name.c_str(), value->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

    std::string m_name;
    std::optional<std::string> m_old;
};

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TemporaryFolder {
   public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "nbext.XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // The names of the files a job's output was staged in ("<name>.part")
    // that are still there.
    std::vector<std::string> StagedFiles() const {
        std::vector<std::string> staged;
        for (const auto& entry : std::filesystem::directory_iterator(m_path))
            if (entry.path().filename().string().ends_with(".part"))
                staged.push_back(entry.path().filename().string());
        return staged;
    }

   private:
    std::string m_path;
};

}  // namespace nb::external::testing
