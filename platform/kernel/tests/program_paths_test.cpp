// The program's and modules' places on disk, checked against the kernel's
// own account of them.
#include "platform/kernel/program_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/kernel/fd_io.h"

namespace {

namespace fs = std::filesystem;

int g_program_data = 0;

TEST(ProgramPaths, NameTheRunningProgram) {
    const fs::path expected = fs::canonical("/proc/self/exe");
    EXPECT_EQ(nb::ProgramPath(), expected.string());
    EXPECT_EQ(nb::ProgramDirectory(), expected.parent_path().string());
}

TEST(ProgramPaths, NameTheModuleHoldingAnAddress) {
    const std::string program = fs::canonical("/proc/self/exe").string();
    EXPECT_EQ(nb::ModulePathOf(&g_program_data), program);

    // A function of the platform library lives in that library, not in the
    // program calling it.
    const std::string library = nb::ModulePathOf(reinterpret_cast<const void*>(&nb::ReadFully));
    EXPECT_EQ(fs::path(library).filename(), "libnbplatform.so");
    EXPECT_TRUE(fs::path(library).is_absolute());
    EXPECT_EQ(nb::ModuleDirectoryOf(reinterpret_cast<const void*>(&nb::ReadFully)),
              fs::path(library).parent_path().string());

    EXPECT_EQ(nb::ModulePathOf(nullptr), "");
    EXPECT_EQ(nb::ModuleDirectoryOf(nullptr), "");
}

}  // namespace
