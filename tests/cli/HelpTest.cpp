// The help in the user's language: the catalogue's English reads as the text
// built in, and a Chinese help keeps its columns, two to a Chinese character.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "base/TextEncoding.h"
#include "cli/Help.h"
#include "cli/Progress.h"
#include "settings/OwnText.h"
#include "settings/TextCatalogue.h"

namespace korvane::cli {
namespace {

// The catalogue is read from the source tree, which the Windows run does not see.
#ifdef KORVANE_TXT_INI
class HelpLanguage : public ::testing::Test {
protected:
    void TearDown() override { settings::UseBuiltInTexts(); }
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

bool HasWideCharacter(const std::string& text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t ignored = 0;
        const std::size_t length = std::max<std::size_t>(base::DecodeUtf8(text, pos, ignored), 1);
        if (DisplayColumns(text.substr(pos, length)) == 2) return true;
        pos += length;
    }
    return false;
}

TEST_F(HelpLanguage, CatalogueEnglishIsTheBuiltInText)
{
    for (const CommandKind command :
         {CommandKind::None, CommandKind::Ports, CommandKind::Flash, CommandKind::Info,
          CommandKind::Crc, CommandKind::Apn, CommandKind::Counter, CommandKind::Station,
          CommandKind::History}) {
        settings::UseBuiltInTexts();
        const std::string builtIn = HelpText(command);
        settings::UseOwnTextCatalogue(KORVANE_TXT_INI, settings::kLanguageEnglish);
        EXPECT_EQ(HelpText(command), builtIn) << CommandName(command);
    }
}

// The station's help has options sharing a description and names too long for
// the column; each language's lines must still fit a terminal.
TEST_F(HelpLanguage, ChineseHelpListsTheOptionsInChineseInAlignedColumns)
{
    constexpr std::size_t kTerminal = 80;
    constexpr std::uint8_t kTraditional = 2;
    for (const std::uint8_t language : {settings::kLanguageChinese, kTraditional}) {
        SCOPED_TRACE(static_cast<int>(language));
        settings::UseOwnTextCatalogue(KORVANE_TXT_INI, language);
        const std::vector<std::string> lines = Lines(HelpText(CommandKind::Station));
        ASSERT_GT(lines.size(), 2U);
        // The second command line stands under the first, whatever the heading's width.
        const std::size_t command = lines[0].find("korvane station");
        ASSERT_NE(command, std::string::npos);
        EXPECT_EQ(lines[1].find("korvane station"), DisplayColumns(lines[0].substr(0, command)));
        EXPECT_TRUE(HasWideCharacter(lines[0].substr(0, command))) << lines[0];

        std::size_t column = 0;
        std::size_t options = 0;
        std::string description;
        bool inOptions = false;
        const auto endOption = [&] {
            if (!description.empty()) {
                EXPECT_TRUE(HasWideCharacter(description)) << description;
            }
            description.clear();
        };
        for (const std::string& line : lines) {
            EXPECT_LE(DisplayColumns(line), kTerminal) << line;
            if (line.starts_with("  -")) {
                inOptions = true;
                endOption();
                ++options;
                const std::size_t gap = line.find("  ", 2);
                if (gap != std::string::npos) {
                    const std::size_t start = line.find_first_not_of(' ', gap);
                    if (column == 0) column = start;
                    EXPECT_EQ(start, column) << line;
                    description = line.substr(start);
                }
            } else if (inOptions && !line.empty()) {
                const std::size_t start = line.find_first_not_of(' ');
                if (column == 0) column = start;
                EXPECT_EQ(start, column) << line;
                description += line.substr(start);
            } else if (inOptions) {
                break;
            }
        }
        endOption();
        EXPECT_GT(column, 2U);
        const auto entries = CommandOptions(CommandKind::Station);
        EXPECT_EQ(options,
                  std::count_if(entries.begin(), entries.end(), [](const OptionEntry& entry) {
                      return !entry.help.english.empty();
                  }));
    }
}

#endif

}  // namespace
}  // namespace korvane::cli
