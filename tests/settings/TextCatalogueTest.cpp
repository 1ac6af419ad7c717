// Txt.ini lookups: encodings, damaged files, INI details, language ranges, the 259-unit cut.
#include "settings/TextCatalogue.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <iconv.h>

#include "tests/settings/TempDir.h"

namespace korvane::settings {
namespace {

using test::TempDir;
using test::WriteBytes;

// Re-encodes UTF-8 text with the C library, as another editor would have saved it.
std::string Encode(const std::string& utf8, const char* encoding)
{
    iconv_t cd = ::iconv_open(encoding, "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << encoding;
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    EXPECT_NE(::iconv(cd, &in, &inLeft, &outPtr, &outLeft), static_cast<std::size_t>(-1)) << errno;
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

// Looks one key up in a catalogue file holding `contents`; the section read
// into memory finds the same whole text.
std::string Lookup(const std::string& contents, std::string_view key,
                   std::string_view section = "Pub")
{
    TempDir dir;
    WriteBytes(dir / "Txt.ini", contents);
    const CIniFile file(dir / "Txt.ini");
    EXPECT_EQ(CatalogueSection(file.Path(), section).Find(key), file.GetWholeString(section, key))
        << key << " in " << contents;
    return file.GetString(section, key);
}

const std::string kCatalogue =
    "; texts of the program\r\n"
    "[Pub]\r\n"
    "000045=开启端口\r\n"
    "100045=Open port\r\n"
    "800045=開啟端口\r\n"
    "000001=已升级 %d 次 𠀀\r\n";

TEST(TextCatalogueTest, EveryEncodingGivesTheSameTexts)
{
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"UTF-8", kCatalogue},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + kCatalogue},
        {"UTF-16LE with BOM", "\xFF\xFE" + Encode(kCatalogue, "UTF-16LE")},
        {"UTF-16BE with BOM", "\xFE\xFF" + Encode(kCatalogue, "UTF-16BE")},
        {"GB18030", Encode(kCatalogue, "GB18030")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Lookup(c.bytes, "000045"), "开启端口");
        EXPECT_EQ(Lookup(c.bytes, "100045"), "Open port");
        EXPECT_EQ(Lookup(c.bytes, "800045"), "開啟端口");
        EXPECT_EQ(Lookup(c.bytes, "000001"), "已升级 %d 次 𠀀");
    }
}

TEST(TextCatalogueTest, StrayBytesInUtf8AreReplacedAndTheRestStaysUtf8)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::string expectedStray;
    };
    const std::string stray = "100099=caf\xE9 au lait\r\n";  // one Latin-1 byte
    const Case cases[] = {
        {"one Latin-1 byte", kCatalogue + stray, "caf\uFFFD au lait"},
        {"one Latin-1 byte after a BOM", "\xEF\xBB\xBF" + kCatalogue + stray, "caf\uFFFD au lait"},
        {"a cut-off character", kCatalogue + "100099=\xE5\xAF\r\n", "\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Lookup(c.bytes, "000045"), "开启端口");
        EXPECT_EQ(Lookup(c.bytes, "800045"), "開啟端口");
        EXPECT_EQ(Lookup(c.bytes, "100099"), c.expectedStray);
    }
}

TEST(TextCatalogueTest, ShippedCatalogueSavedInTheLegacyCodePageReadsTheSame)
{
    // A whole catalogue of real texts is where the choice between damaged UTF-8
    // and GB18030 has to hold.
    std::ifstream shipped(KORVANE_SHIPPED_CATALOGUE, std::ios::binary);
    const std::string utf8{std::istreambuf_iterator<char>(shipped), {}};
    ASSERT_FALSE(utf8.empty());
    TempDir dir;
    WriteBytes(dir / "utf8.ini", utf8);
    WriteBytes(dir / "gb18030.ini", Encode(utf8, "GB18030"));
    // The UTF-8 side is read once; the legacy one as the dialog reads it, per text.
    const CatalogueSection texts(dir / "utf8.ini", "Pub");
    int compared = 0;
    for (const std::int32_t base : {0, 100000, 800000}) {
        for (std::int32_t id = 0; id < 1000; ++id) {
            const std::string key = TextKey(base, id);
            const std::string expected{texts.Find(key)};
            if (expected.empty()) continue;
            ++compared;
            ASSERT_EQ(CIniFile(dir / "gb18030.ini").GetWholeString("Pub", key), expected) << key;
        }
    }
    EXPECT_GT(compared, 30);
}

TEST(TextCatalogueTest, MissingOrDamagedCatalogueGivesEmptyText)
{
    TempDir dir;
    EXPECT_EQ(CIniFile(dir / "Txt.ini").GetString("Pub", "000045"), "") << "absent";
    EXPECT_EQ(CIniFile(dir.Path()).GetString("Pub", "000045"), "") << "a folder";
    EXPECT_EQ(Lookup("", "000045"), "") << "empty";
    EXPECT_EQ(Lookup("\xFF\xFE", "000045"), "") << "BOM only";
    EXPECT_EQ(Lookup("\xFF\xFE\x5B\x00\x50", "000045"), "") << "odd UTF-16 length";

    std::mt19937 random(2024);
    std::string garbage(8192, '\0');
    for (char& byte : garbage) byte = static_cast<char>(random());
    EXPECT_EQ(Lookup(garbage, "000045"), "") << "binary garbage";
    // The readable part of a damaged file is still found.
    EXPECT_EQ(Lookup(garbage + "\n[Pub]\n000045=Open port\n", "000045"), "Open port");
}

TEST(TextCatalogueTest, IniDetailsAsAUserWritesThem)
{
    struct Case {
        const char* name;
        std::string contents;
        std::string section;
        std::string key;
        std::string expected;
    };
    const Case cases[] = {
        {"duplicate keys: first wins", "[Pub]\nk=first\nk=second\n", "Pub", "k", "first"},
        {"no section Pub", "[Other]\nk=v\n", "Pub", "k", ""},
        {"key before any section", "k=v\n[Pub]\n", "Pub", "k", ""},
        {"only the asked section", "[Pub]\na=1\n[Other]\nk=v\n", "Pub", "k", ""},
        {"section case", "[pUB]\nk=v\n", "Pub", "k", "v"},
        {"key case", "[Pub]\nCaption=v\n", "Pub", "cAPTION", "v"},
        {"blanks around", "  [ Pub ]  \n \t k \t=  some text \t\n", "Pub", "k", "some text"},
        {"quoted value", "[Pub]\nk=\"  padded  \"\n", "Pub", "k", "  padded  "},
        {"one quote stays", "[Pub]\nk=\"open\n", "Pub", "k", "\"open"},
        {"comment line", "[Pub]\n;k=hidden\nk=shown\n", "Pub", "k", "shown"},
        {"empty value", "[Pub]\nk=\nk=later\n", "Pub", "k", ""},
        {"equals in value", "[Pub]\nk=a=b\n", "Pub", "k", "a=b"},
        {"no newline at end", "[Pub]\nk=v", "Pub", "k", "v"},
        {"section seen again", "[Pub]\na=1\n[X]\n[Pub]\nk=v\n", "Pub", "k", "v"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Lookup(c.contents, c.key, c.section), c.expected) << c.name;
    }
}

TEST(TextCatalogueTest, LongEntriesAreCutAt259Utf16Units)
{
    const std::string ascii300(300, 'a');
    std::string han300;
    for (int i = 0; i < 300; ++i) han300 += "汉";
    std::string supplementary200;  // each one is two UTF-16 units
    for (int i = 0; i < 200; ++i) supplementary200 += "𠀀";
    std::string mixed = "x";  // one unit, then pairs: 1 + 2*129 = 259
    for (int i = 0; i < 200; ++i) mixed += "𠀀";

    struct Case {
        const char* name;
        std::string value;
        std::string expected;
    };
    const Case cases[] = {
        {"300 ASCII characters", ascii300, std::string(259, 'a')},
        {"300 Chinese characters", han300, han300.substr(0, 259 * 3)},
        {"surrogate pairs never split", supplementary200, supplementary200.substr(0, 129 * 4)},
        {"pairs filling exactly", mixed, mixed.substr(0, 1 + 129 * 4)},
        {"259 fit whole", std::string(259, 'b'), std::string(259, 'b')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Lookup("[Pub]\nk=" + c.value + "\n", "k"), c.expected) << c.name;
    }
}

TEST(TextCatalogueTest, LanguagePicksTheKeyRange)
{
    TempDir dir;
    WriteBytes(dir / "Txt.ini", kCatalogue);
    struct Case {
        std::uint8_t language;
        std::int32_t base;
        std::string expected;
    };
    const Case cases[] = {
        {0, 0, "开启端口"},      {1, 100000, "Open port"},  {7, 800000, "開啟端口"},
        {2, 800000, "開啟端口"}, {255, 800000, "開啟端口"},
    };
    for (const Case& c : cases) {
        const TextCatalogue catalogue(dir / "Txt.ini", c.language);
        EXPECT_EQ(catalogue.LanguageBaseValue(), c.base);
        EXPECT_EQ(catalogue.GetText(TextCatalogue::kSection, 45), c.expected) << int{c.language};
        EXPECT_EQ(catalogue.GetText(TextCatalogue::kSection, 46), "") << "missing key";
    }
}

TEST(TextCatalogueTest, KeysAreSixDigitsAtLeast)
{
    EXPECT_EQ(TextKey(0, 0), "000000");
    EXPECT_EQ(TextKey(0, 1), "000001");
    EXPECT_EQ(TextKey(100000, 1), "100001");
    EXPECT_EQ(TextKey(800000, 50), "800050");
    EXPECT_EQ(TextKey(0, 1234567), "1234567");
    EXPECT_EQ(TextKey(800000, INT32_MAX), "2148283647") << "no overflow";
}

}  // namespace
}  // namespace korvane::settings
