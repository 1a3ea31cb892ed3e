// Resource libraries built here with the mingw binutils, 32- and 64-bit,
// read back through the PE resource reader; then the same files cut short
// and damaged, which must fail cleanly or still answer the right bytes.
#include "platform/resources/pe_resources.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

enum class Architecture { k32, k64 };

struct Toolchain {
    const char* windres;
    const char* ld;
};

Toolchain ToolsFor(Architecture architecture) {
    return architecture == Architecture::k64 ? Toolchain{NB_WINDRES_64, NB_LD_64}
                                             : Toolchain{NB_WINDRES_32, NB_LD_32};
}

class TempDir {
   public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "nb-pe-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const fs::path& path() const { return m_path; }

   private:
    fs::path m_path;
};

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::string Text(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Links a DLL from rc_lines ("<name> <type> <file>", the files given in
// files) and answers its path. The rc file is preprocessed as C, as the
// resource compiler expects.
fs::path BuildLibrary(const TempDir& dir, Architecture architecture, const std::string& rc_lines,
                      const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) WriteFile(dir.path() / name, content);
    WriteFile(dir.path() / "r.rc", rc_lines);
    Toolchain tools = ToolsFor(architecture);
    std::string in = "cd '" + dir.path().string() + "' && ";
    std::string compile =
        in + tools.windres + " --preprocessor=cpp --preprocessor-arg=-xc r.rc -O coff -o r.o";
    std::string link = in + tools.ld + " -shared --entry=0 -o ui.dll r.o";
    EXPECT_EQ(std::system(compile.c_str()), 0) << compile;
    EXPECT_EQ(std::system(link.c_str()), 0) << link;
    return dir.path() / "ui.dll";
}

const std::string kMainPage = "<html><body>main</body></html>";
const std::string kStyle = "body { color: red }";

const std::map<std::string, std::string> kFiles = {
    {"main.html", kMainPage}, {"empty.txt", ""},      {"a.css", kStyle},
    {"de.html", "deutsch"},   {"us.html", "english"}, {"neutral.html", "neutral"}};

// Names in mixed case (the compiler stores them upper case), a name with a
// folder, an empty resource, a numbered one, one of another type, and one
// name in several languages.
const std::string kRcLines =
    "\"pages/Main.html\" 23 main.html\n"
    "\"empty.txt\" 23 empty.txt\n"
    "7 23 a.css\n"
    "Style 10 a.css\n"
    "LANGUAGE 7, 1\n"
    "\"lang.html\" 23 de.html\n"
    "\"two.html\" 23 de.html\n"
    "LANGUAGE 0, 0\n"
    "\"lang.html\" 23 neutral.html\n"
    "LANGUAGE 9, 1\n"
    "\"lang.html\" 23 us.html\n"
    "\"two.html\" 23 us.html\n";

class ResourceLibraryTest : public testing::TestWithParam<Architecture> {
   protected:
    void SetUp() override {
        m_path = BuildLibrary(m_dir, GetParam(), kRcLines, kFiles);
        nb::PeResourceLibrary::OpenResult opened = nb::PeResourceLibrary::Open(m_path.string());
        ASSERT_NE(opened.library, nullptr);
        m_library = std::move(opened.library);
    }

    std::optional<std::string> Lookup(const nb::ResourceId& type, const nb::ResourceId& name) {
        std::optional<nb::ResourceEntry> entry = m_library->Find(type, name);
        if (!entry) return std::nullopt;
        std::optional<std::span<const std::uint8_t>> bytes = m_library->Load(*entry);
        if (!bytes) return std::nullopt;
        EXPECT_EQ(bytes->size(), nb::PeResourceLibrary::Size(*entry));
        return Text(*bytes);
    }

    TempDir m_dir;
    fs::path m_path;
    std::unique_ptr<nb::PeResourceLibrary> m_library;
};

TEST_P(ResourceLibraryTest, ReportsItsWordSize) {
    EXPECT_EQ(m_library->is_64_bit(), GetParam() == Architecture::k64);
}

TEST_P(ResourceLibraryTest, FindsResourcesByTypeAndName) {
    struct Case {
        nb::ResourceId type;
        nb::ResourceId name;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {nb::RT_HTML, u"pages/main.html", kMainPage},
        {nb::RT_HTML, u"PAGES/MAIN.HTML", kMainPage},
        {nb::RT_HTML, u"Pages/Main.Html", kMainPage},
        {u"#23", u"pages/main.html", kMainPage},
        {nb::RT_HTML, u"empty.txt", std::string()},
        {nb::RT_HTML, WORD{7}, kStyle},
        {nb::RT_HTML, u"#7", kStyle},
        {nb::RT_HTML, u"#007", kStyle},
        {WORD{10}, u"style", kStyle},
        // Missing names, another type, near misses of the number form.
        {nb::RT_HTML, u"missing.html", std::nullopt},
        {nb::RT_HTML, u"main.html", std::nullopt},
        {nb::RT_HTML, u"pages/main.html ", std::nullopt},
        {WORD{10}, u"pages/main.html", std::nullopt},
        {u"23", u"pages/main.html", std::nullopt},
        {nb::RT_HTML, u"7", std::nullopt},
        {nb::RT_HTML, u"#65543", std::nullopt},  // 7 + 65536
        {nb::RT_HTML, u"#7a", std::nullopt},
        {nb::RT_HTML, u"#", std::nullopt},
        {WORD{24}, WORD{7}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::string label = c.name.is_number()
                                ? std::to_string(c.name.number())
                                : std::string(c.name.name().begin(), c.name.name().end());
        EXPECT_EQ(Lookup(c.type, c.name), c.expected) << label;
    }
}

TEST_P(ResourceLibraryTest, PrefersTheNeutralLanguageThenUsEnglish) {
    EXPECT_EQ(Lookup(nb::RT_HTML, u"lang.html"), "neutral");
    EXPECT_EQ(m_library->Find(nb::RT_HTML, u"lang.html")->language, 0);
    EXPECT_EQ(Lookup(nb::RT_HTML, u"two.html"), "english");
    EXPECT_EQ(m_library->Find(nb::RT_HTML, u"two.html")->language, 0x409);
}

TEST_P(ResourceLibraryTest, ListsTypesAndNames) {
    std::vector<nb::ResourceId> types = m_library->Types();
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0].number(), 10);
    EXPECT_EQ(types[1].number(), nb::RT_HTML);
    std::vector<std::u16string> names;
    for (const nb::ResourceId& id : m_library->Names(nb::RT_HTML))
        names.push_back(id.is_number() ? u"#" + std::u16string(1, u'0' + id.number()) : id.name());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"EMPTY.TXT", u"LANG.HTML", u"PAGES/MAIN.HTML",
                                                  u"TWO.HTML", u"#7"}));
}

// Every prefix of the file either fails somewhere on the way or answers the
// very bytes of the whole file: nothing is read past the end.
TEST_P(ResourceLibraryTest, FilesCutShortFailCleanly) {
    std::vector<std::uint8_t> whole = ReadBytes(m_path);
    int answered = 0;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        nb::PeResourceLibrary::OpenResult opened =
            nb::PeResourceLibrary::FromBytes(std::span(whole).first(cut));
        if (!opened.library) continue;
        std::optional<nb::ResourceEntry> entry =
            opened.library->Find(nb::RT_HTML, u"pages/main.html");
        if (!entry) continue;
        std::optional<std::span<const std::uint8_t>> bytes = opened.library->Load(*entry);
        if (!bytes) continue;
        EXPECT_EQ(Text(*bytes), kMainPage) << "cut at " << cut;
        ++answered;
    }
    // The page's bytes end before the file does (section padding).
    EXPECT_GT(answered, 0);
}

// Overwrites each 32-bit word of the file in turn with values that make
// offsets and sizes point far away, at the high-bit flag, or back to the
// start; every lookup must end, and what loads must have its stated size.
TEST_P(ResourceLibraryTest, DamagedWordsFailCleanly) {
    const std::vector<std::uint8_t> whole = ReadBytes(m_path);
    const std::uint32_t values[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x00000000u,
                                    0x80000010u, 0x0000FFFFu, 0x00010000u};
    for (std::size_t at = 0; at + 4 <= whole.size(); at += 2) {
        for (std::uint32_t value : values) {
            std::vector<std::uint8_t> damaged = whole;
            for (int i = 0; i < 4; ++i)
                damaged[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
            nb::PeResourceLibrary::OpenResult opened = nb::PeResourceLibrary::FromBytes(damaged);
            if (!opened.library) continue;
            for (const nb::ResourceId& type : opened.library->Types()) {
                for (const nb::ResourceId& name : opened.library->Names(type)) {
                    std::optional<nb::ResourceEntry> entry = opened.library->Find(type, name);
                    if (!entry) continue;
                    std::optional<std::span<const std::uint8_t>> bytes =
                        opened.library->Load(*entry);
                    if (bytes) {
                        ASSERT_EQ(bytes->size(), entry->size) << "word at " << at;
                    }
                }
            }
        }
    }
}

// A data entry whose address or size leaves the file's sections is found
// but does not load (LoadResource fails, FindResource does not).
TEST_P(ResourceLibraryTest, DataOutsideTheSectionsDoesNotLoad) {
    std::optional<nb::ResourceEntry> entry = m_library->Find(nb::RT_HTML, u"pages/main.html");
    ASSERT_TRUE(entry);
    std::vector<std::uint8_t> whole = ReadBytes(m_path);
    // The data entry starts with the address and the size.
    std::uint8_t pattern[8];
    for (int i = 0; i < 4; ++i) {
        pattern[i] = static_cast<std::uint8_t>(entry->data_rva >> (8 * i));
        pattern[4 + i] = static_cast<std::uint8_t>(entry->size >> (8 * i));
    }
    auto found = std::search(whole.begin(), whole.end(), std::begin(pattern), std::end(pattern));
    ASSERT_NE(found, whole.end());
    std::size_t at = static_cast<std::size_t>(found - whole.begin());

    struct Case {
        std::uint32_t rva;
        std::uint32_t size;
    };
    const Case cases[] = {
        {0x7FFFFFF0u, entry->size},      // no section there
        {entry->data_rva, 0xFFFFFFF0u},  // runs past every section
        {entry->data_rva, 0x10000u},     // runs past the resource section
        {0xFFFFFFFFu, 1},                // wraps around
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> damaged = whole;
        for (int i = 0; i < 4; ++i) {
            damaged[at + i] = static_cast<std::uint8_t>(c.rva >> (8 * i));
            damaged[at + 4 + i] = static_cast<std::uint8_t>(c.size >> (8 * i));
        }
        nb::PeResourceLibrary::OpenResult opened = nb::PeResourceLibrary::FromBytes(damaged);
        ASSERT_NE(opened.library, nullptr);
        std::optional<nb::ResourceEntry> moved =
            opened.library->Find(nb::RT_HTML, u"pages/main.html");
        ASSERT_TRUE(moved);
        EXPECT_EQ(moved->data_rva, c.rva);
        EXPECT_FALSE(opened.library->Load(*moved)) << std::hex << c.rva << " " << c.size;
    }
}

INSTANTIATE_TEST_SUITE_P(Both, ResourceLibraryTest,
                         testing::Values(Architecture::k32, Architecture::k64),
                         [](const testing::TestParamInfo<Architecture>& param_info) {
                             return param_info.param == Architecture::k64 ? "Pe64" : "Pe32";
                         });

TEST(ResourceLibraryOpen, RefusesWhatIsNoPeFile) {
    TempDir dir;
    WriteFile(dir.path() / "text.dll", "This is not a library, just some text long enough.");
    WriteFile(dir.path() / "empty.dll", "");
    // "MZ" and a PE offset that leads past the end, or to no signature.
    std::string mz(64, '\0');
    mz[0] = 'M';
    mz[1] = 'Z';
    std::string far = mz;
    far[0x3C] = '\x40';
    far[0x3D] = '\x40';
    WriteFile(dir.path() / "far.dll", far);
    std::string unsigned_pe = mz + std::string(64, '\0');
    unsigned_pe[0x3C] = '\x40';
    WriteFile(dir.path() / "unsigned.dll", unsigned_pe);
    fs::create_directory(dir.path() / "folder.dll");

    struct Case {
        const char* name;
        nb::PeOpenError error;
    };
    const Case cases[] = {
        {"text.dll", nb::PeOpenError::kNotPe},         {"empty.dll", nb::PeOpenError::kNotPe},
        {"far.dll", nb::PeOpenError::kNotPe},          {"unsigned.dll", nb::PeOpenError::kNotPe},
        {"missing.dll", nb::PeOpenError::kCannotRead}, {"folder.dll", nb::PeOpenError::kCannotRead},
    };
    for (const Case& c : cases) {
        nb::PeResourceLibrary::OpenResult opened =
            nb::PeResourceLibrary::Open((dir.path() / c.name).string());
        EXPECT_EQ(opened.library, nullptr) << c.name;
        EXPECT_EQ(opened.error, c.error) << c.name;
    }
}

TEST(ResourceLibraryOpen, LibraryWithoutResourcesOpensAndFindsNothing) {
    TempDir dir;
    // The resource compiler refuses to make an empty object; the assembler
    // makes one from an empty source.
    std::string in = "cd '" + dir.path().string() + "' && ";
    std::string assemble = in + NB_AS_64 + " -o r.o /dev/null";
    std::string link = in + NB_LD_64 + " -shared --entry=0 -o ui.dll r.o";
    ASSERT_EQ(std::system(assemble.c_str()), 0) << assemble;
    ASSERT_EQ(std::system(link.c_str()), 0) << link;
    fs::path path = dir.path() / "ui.dll";
    nb::PeResourceLibrary::OpenResult opened = nb::PeResourceLibrary::Open(path.string());
    ASSERT_NE(opened.library, nullptr);
    EXPECT_FALSE(opened.library->Find(nb::RT_HTML, u"main.html"));
    EXPECT_TRUE(opened.library->Types().empty());
}

}  // namespace

// An opened file is read where its resources lie, when they are asked for:
// those bytes match the file, pieces of them included, and a file cut after
// it was opened fails the read instead of answering what is no longer there.
TEST(ResourceLibraryOpen, ReadsResourcesFromTheFileAsItIsThen) {
    TempDir dir;
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    fs::path path =
        BuildLibrary(dir, Architecture::k64, "\"big.bin\" 23 big.bin\n", {{"big.bin", big}});
    nb::PeResourceLibrary::OpenResult opened = nb::PeResourceLibrary::Open(path.string());
    ASSERT_NE(opened.library, nullptr);
    std::optional<nb::ResourceEntry> entry = opened.library->Find(nb::RT_HTML, u"big.bin");
    ASSERT_TRUE(entry);

    std::vector<std::uint8_t> piece(1000);
    ASSERT_TRUE(opened.library->Read(*entry, 123456, piece));
    EXPECT_EQ(Text(piece), big.substr(123456, 1000));
    EXPECT_FALSE(opened.library->Read(*entry, static_cast<std::uint32_t>(big.size()) - 999, piece))
        << "a range past the resource's end";
    std::optional<std::span<const std::uint8_t>> whole = opened.library->Load(*entry);
    ASSERT_TRUE(whole);
    EXPECT_TRUE(Text(*whole) == big);

    fs::resize_file(path, fs::file_size(path) - big.size() / 2);
    EXPECT_TRUE(opened.library->Read(*entry, 0, std::span(piece).first(100)))
        << "the start is still there";
    std::vector<std::uint8_t> tail(100);
    EXPECT_FALSE(opened.library->Read(*entry, static_cast<std::uint32_t>(big.size()) - 100, tail));
}
