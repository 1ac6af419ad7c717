// Texts of the program's own (error messages, hints, command-line texts) in the
// user's language. They live in Txt.ini beside the original texts, under ids
// the original texts do not use, and the English text is built into the code
// as the fallback for a Txt.ini that lacks them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::settings {

// Where each module's own texts start. An id is added to the language base
// (0, 100000, 800000) as the original ids are; each module keeps to its range.
constexpr std::int32_t kOwnTextSerial = 200;       // 200-249
constexpr std::int32_t kOwnTextFirmware = 250;     // 250-299
constexpr std::int32_t kOwnTextMaintenance = 300;  // 300-349
constexpr std::int32_t kOwnTextCli = 350;          // 350-449
constexpr std::int32_t kOwnTextUi = 450;           // 450-499
constexpr std::int32_t kOwnTextSettings = 500;     // 500-519
constexpr std::int32_t kOwnTextHistory = 520;      // 520-539
constexpr std::int32_t kOwnTextCliChip = 540;      // 540-559
constexpr std::int32_t kOwnTextStation = 560;      // 560-599
constexpr std::int32_t kOwnTextCliHelp = 600;      // 600-679

// Chooses the catalogue and the language OwnText reads, for the whole process,
// and reads the catalogue's texts into memory: OwnText never reads the file
// itself. Front ends call it at start (and when the language changes); until
// then, and after UseBuiltInTexts, OwnText gives the built-in English, as it
// does for every text a missing or unreadable catalogue lacks.
void UseOwnTextCatalogue(std::filesystem::path txtPath, std::uint8_t language);
// Reads the chosen catalogue again (after Txt.ini was edited); nothing with the
// built-in texts.
void ReloadOwnTextCatalogue();
void UseBuiltInTexts();

// The language byte last chosen with UseOwnTextCatalogue (Sys.dat's), or none
// with the built-in texts: the language the system's own texts are asked in.
std::optional<std::uint8_t> OwnTextLanguage();

// The text for `id` in the chosen language, or `english` when the catalogue has
// no such key (or no catalogue was chosen). Safe from any thread.
std::string OwnText(std::int32_t id, std::string_view english);

// Puts args[n] in place of every "{n}" (n one digit); other braces stay as
// written, so a translated text can order its arguments as its language needs.
std::string FillText(std::string_view text, std::initializer_list<std::string_view> args);

// OwnText then FillText.
std::string OwnText(std::int32_t id, std::string_view english,
                    std::initializer_list<std::string_view> args);

}  // namespace korvane::settings
