// Reading and editing INI text: the lookup rules, and edits that leave every
// other byte of the file alone.
#include "platform/profile/ini_document.h"

#include <gtest/gtest.h>

namespace {

using nb::IniDocument;
using Edit = IniDocument::EditResult;

const std::string kSettings =
    "; written by hand\r\n"
    "stray=before any section\r\n"
    "[NimbraHAPF]\r\n"
    "win_ApplicationName = Ringtones  \r\n"
    "  win_Width=640\r\n"
    "win_State=Hidden\r\n"
    "quoted=\"  spaced  \"\r\n"
    "single='x'\r\n"
    "half=\"open\r\n"
    "empty=\r\n"
    "twice=first\r\n"
    "twice=second\r\n"
    "no value line\r\n"
    ";win_Height=1\r\n"
    "\r\n"
    "[ Other ]\r\n"
    "key=a=b\r\n"
    "[nimbrahapf]\r\n"
    "win_Height=300\r\n"
    "[Unclosed\r\n"
    "k=v";

TEST(IniDocument, ReadsValuesAsTheSystemDoes) {
    IniDocument document = IniDocument::Parse(kSettings);
    struct Case {
        const char16_t* section;
        const char16_t* key;
        std::optional<std::u16string> value;
    };
    const Case cases[] = {
        {u"NimbraHAPF", u"win_ApplicationName", u"Ringtones"},
        {u"nimbrahapf", u"WIN_WIDTH", u"640"},
        {u"  NimbraHAPF ", u" win_State ", u"Hidden"},
        {u"NimbraHAPF", u"quoted", u"  spaced  "},
        {u"NimbraHAPF", u"single", u"x"},
        {u"NimbraHAPF", u"half", u"\"open"},
        {u"NimbraHAPF", u"empty", u""},
        {u"NimbraHAPF", u"twice", u"first"},
        {u"other", u"key", u"a=b"},
        {u"Unclosed", u"k", u"v"},
        // Only the first section of a name counts; comments, lines without
        // "=" and keys before any section are not keys.
        {u"NimbraHAPF", u"win_Height", std::nullopt},
        {u"NimbraHAPF", u";win_Height", std::nullopt},
        {u"NimbraHAPF", u"no value line", std::nullopt},
        {u"", u"stray", std::nullopt},
        {u"Missing", u"win_Width", std::nullopt},
    };
    // Finding a value in the text reads it the same way, also after a byte
    // order mark.
    const std::string marked = "\xEF\xBB\xBF" + kSettings;
    for (const Case& c : cases) {
        const std::string key(c.key, c.key + std::char_traits<char16_t>::length(c.key));
        EXPECT_EQ(document.Get(c.section, c.key), c.value) << key;
        EXPECT_EQ(IniDocument::Find(kSettings, c.section, c.key), c.value) << key;
        EXPECT_EQ(IniDocument::Find(marked, c.section, c.key), c.value) << key;
    }
    // Names outside ASCII compare as the system compares them.
    EXPECT_EQ(
        IniDocument::Find("[\xC3\x84rger]\nschl\xC3\xBCssel=1\n", u"\u00e4RGER", u"SCHL\u00dcSSEL"),
        u"1");
    EXPECT_EQ(document.SectionNames(),
              (std::vector<std::u16string>{u"NimbraHAPF", u"Other", u"nimbrahapf", u"Unclosed"}));
    EXPECT_EQ(document.KeyNames(u"other"), (std::vector<std::u16string>{u"key"}));
}

TEST(IniDocument, UneditedTextSerializesToItsBytes) {
    for (std::string text :
         {kSettings, std::string("\xEF\xBB\xBF[a]\nb=c\n"), std::string(), std::string("\n\n"),
          std::string("[x]\rk=v\r"), std::string("bad \xFF\xFE utf-8\n[s]\nk=\xC3\n")})
        EXPECT_EQ(IniDocument::Parse(text).Serialize(), text);
}

struct EditCase {
    const char* name;
    std::string before;
    std::function<Edit(IniDocument&)> edit;
    Edit result;
    std::string after;
};

TEST(IniDocument, EditsTouchOnlyTheirLines) {
    const EditCase cases[] = {
        {"replace keeps the key's spelling and the line end",
         "; c\r\n[S]\r\n  Key = old ; not a comment\r\nz=1\r\n",
         [](IniDocument& d) { return d.Set(u"s", u"KEY", u"new"); }, Edit::kChanged,
         "; c\r\n[S]\r\nKey=new\r\nz=1\r\n"},
        {"same value changes nothing", "[S]\nkey=v\n",
         [](IniDocument& d) { return d.Set(u"S", u"key", u"v"); }, Edit::kUnchanged,
         "[S]\nkey=v\n"},
        {"new key goes after the section's last line, before blank lines",
         "[A]\na=1\n; tail\n\n\n[B]\nb=2\n", [](IniDocument& d) { return d.Set(u"a", u"n", u"3"); },
         Edit::kChanged, "[A]\na=1\n; tail\nn=3\n\n\n[B]\nb=2\n"},
        {"new key in an empty last section without a final line end", "[A]",
         [](IniDocument& d) { return d.Set(u"A", u"k", u"v"); }, Edit::kChanged, "[A]\nk=v\n"},
        {"new section at the end with the file's line ends", "[A]\r\na=1",
         [](IniDocument& d) { return d.Set(u"B", u"k", u"v"); }, Edit::kChanged,
         "[A]\r\na=1\r\n[B]\r\nk=v\r\n"},
        {"new section in an empty file", "",
         [](IniDocument& d) { return d.Set(u"NimbraHAPF", u"win_Width", u"800"); }, Edit::kChanged,
         "[NimbraHAPF]\nwin_Width=800\n"},
        {"byte order mark kept", "\xEF\xBB\xBF[A]\n",
         [](IniDocument& d) { return d.Set(u"A", u"k", u"v"); }, Edit::kChanged,
         "\xEF\xBB\xBF[A]\nk=v\n"},
        {"delete removes every line of the key in the first section",
         "[A]\nk=1\nx=2\nK=3\n[A]\nk=4\n", [](IniDocument& d) { return d.DeleteKey(u"a", u"k"); },
         Edit::kChanged, "[A]\nx=2\n[A]\nk=4\n"},
        {"delete of a missing key", "[A]\nk=1\n",
         [](IniDocument& d) { return d.DeleteKey(u"A", u"j"); }, Edit::kUnchanged, "[A]\nk=1\n"},
        {"delete section takes its comments and every section of the name",
         "; top\n[A]\nk=1\n; in A\n[B]\nb=1\n[a]\nk=2\n",
         [](IniDocument& d) { return d.DeleteSection(u"A"); }, Edit::kChanged, "; top\n[B]\nb=1\n"},
        {"values that would lose blanks or quotes are quoted", "[A]\n",
         [](IniDocument& d) { return d.Set(u"A", u"k", u" padded "); }, Edit::kChanged,
         "[A]\nk=\" padded \"\n"},
        {"non-ASCII names match case-insensitively", "[Ärger]\nschlüssel=1\n",
         [](IniDocument& d) { return d.Set(u"ÄRGER", u"SCHLÜSSEL", u"ß"); }, Edit::kChanged,
         "[Ärger]\nschlüssel=ß\n"},
    };
    for (const EditCase& c : cases) {
        IniDocument document = IniDocument::Parse(c.before);
        EXPECT_EQ(c.edit(document), c.result) << c.name;
        EXPECT_EQ(document.Serialize(), c.after) << c.name;
    }
}

TEST(IniDocument, RefusesTextThatCannotReadBackTheSame) {
    const char16_t* bad_keys[] = {u"", u"   ", u"a=b", u"[x", u";x", u"a\nb", u"a\rb"};
    for (const char16_t* key : bad_keys) {
        IniDocument document = IniDocument::Parse("[A]\nk=1\n");
        EXPECT_EQ(document.Set(u"A", key, u"v"), Edit::kRejected);
        EXPECT_EQ(document.Serialize(), "[A]\nk=1\n");
    }
    IniDocument document = IniDocument::Parse("[A]\nk=1\n");
    EXPECT_EQ(document.Set(u"A\n[B]", u"k", u"v"), Edit::kRejected);
    EXPECT_EQ(document.Set(u"A", u"k", u"v\n[Injected]\nx=1"), Edit::kRejected);
    EXPECT_EQ(document.Serialize(), "[A]\nk=1\n");
}

TEST(IniDocument, EveryValueReadsBackAsWritten) {
    const std::u16string values[] = {u"",
                                     u" ",
                                     u"  lead",
                                     u"trail\t",
                                     u"\"q\"",
                                     u"'q'",
                                     u"\"",
                                     u"'",
                                     u"\"\"",
                                     u"\"mixed'",
                                     u"a = b ; c",
                                     u"\"  both  \"",
                                     u"[not a section]",
                                     u";not a comment"};
    for (const std::u16string& value : values) {
        IniDocument document = IniDocument::Parse("[A]\nk=1\n");
        ASSERT_NE(document.Set(u"A", u"k", value), Edit::kRejected);
        EXPECT_EQ(IniDocument::Parse(document.Serialize()).Get(u"A", u"k"), value)
            << document.Serialize();
        ASSERT_NE(document.Set(u"New", u"k", value), Edit::kRejected);
        EXPECT_EQ(IniDocument::Parse(document.Serialize()).Get(u"New", u"k"), value);
    }
}

}  // namespace
