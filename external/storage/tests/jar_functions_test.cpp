// EX_GetJarVal, EX_SetJarVal and EX_DelJarVal through nbrun: the jar is
// internals/NbExternal.jar beside the library that was loaded.
#include <filesystem>
#include <fstream>
#include <string>

#include "external/storage/tests/storage_fixture.h"

namespace nb::external::testing {
namespace {

class JarFunctions : public StorageFixture {
   protected:
    std::string JarText() const {
        std::ifstream file(Jar());
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
};

TEST_F(JarFunctions, ValuesRoundTripInTheJarBesideTheLibrary) {
    EXPECT_EQ(Result("GetJarVal", R"(["Window", "Width"])"), "");  // no jar yet
    EXPECT_EQ(Result("SetJarVal", R"(["Window", "Width", "640"])"), nullptr);
    EXPECT_EQ(Result("SetJarVal", R"(["Window", "Title", "  spaced \"quoted\"  "])"), nullptr);
    EXPECT_EQ(Result("GetJarVal", R"(["window", "WIDTH"])"), "640");
    EXPECT_EQ(Result("GetJarVal", R"(["Window", "Title"])"), "  spaced \"quoted\"  ");
    EXPECT_EQ(Result("GetJarVal", R"(["Window", "Height"])"), "");
    EXPECT_EQ(Result("GetJarVal", R"(["Other", "Width"])"), "");
    EXPECT_EQ(Result("SetJarVal", R"(["WINDOW", "width", "800"])"), nullptr);
    EXPECT_EQ(Result("GetJarVal", R"(["Window", "Width"])"), "800");
    EXPECT_EQ(JarText(), "[Window]\nWidth=800\nTitle=\"  spaced \"quoted\"  \"\n");
}

TEST_F(JarFunctions, ANullValueAndDeletingRemoveTheKeyAndKeepOtherLines) {
    std::ofstream(Jar()) << "; kept comment\n[Window]\nWidth=640\nHeight=480\n\n[Other]\nx=1\n";
    EXPECT_EQ(Result("SetJarVal", R"(["Window", "Width", null])"), nullptr);
    EXPECT_EQ(Result("DelJarVal", R"(["window", "height"])"), nullptr);
    EXPECT_EQ(Result("DelJarVal", R"(["Window", "Never"])"), nullptr);  // nothing to remove
    EXPECT_EQ(Result("DelJarVal", R"(["Nowhere", "Never"])"), nullptr);
    EXPECT_EQ(Result("GetJarVal", R"(["Window", "Width"])"), "");
    EXPECT_EQ(JarText(), "; kept comment\n[Window]\n\n[Other]\nx=1\n");
}

// A value is read into 5120 characters, its terminator included.
TEST_F(JarFunctions, ReadsAreCutAt5119Characters) {
    for (const std::size_t length : {std::size_t{5119}, std::size_t{5120}, std::size_t{7000}}) {
        const std::string value(length, 'v');
        EXPECT_EQ(Result("SetJarVal", R"(["Long", "Value", ")" + value + "\"]"), nullptr);
        const nlohmann::json read = Result("GetJarVal", R"(["Long", "Value"])");
        EXPECT_EQ(read, std::string(5119, 'v')) << length;
    }
    EXPECT_NE(JarText().find(std::string(7000, 'v')), std::string::npos);  // stored whole
}

}  // namespace
}  // namespace nb::external::testing
