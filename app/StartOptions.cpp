// The start options and the text catalogue of the program's folder.
#include "app/StartOptions.h"

#include <filesystem>

#include "base/ExeDir.h"
#include "settings/FileBlock.h"
#include "settings/OwnText.h"
#include "settings/SettingsStore.h"
#include "settings/TextCatalogue.h"

namespace korvane::app {

namespace {
constexpr std::string_view kServiceOption = "--service";
constexpr std::string_view kExactTimingOption = "--exact-timing";
}  // namespace

StartOptions ParseStartOptions(const std::vector<std::string_view>& args)
{
    StartOptions options;
    for (const std::string_view arg : args) {
        if (arg == kServiceOption) {
            options.service = true;
        } else if (arg == kExactTimingOption) {
            options.exactTiming = true;
        } else if (arg == "--help" || arg == "-h") {
            options.action = StartOptions::Action::Help;
            return options;
        } else if (arg.starts_with("--")) {
            options.action = StartOptions::Action::Refuse;
            options.refusal = settings::OwnText(settings::kOwnTextUi + 13,
                                                "STM32_Korvane: unknown option {0}", {arg}) +
                              "\n" + UsageText();
            return options;
        }
    }
    return options;
}

firmware::Pacing JobPacing(const StartOptions& options)
{
    return options.service && !options.exactTiming ? firmware::Pacing::Patient
                                                   : firmware::Pacing::Exact;
}

std::string UsageText()
{
    using settings::kOwnTextUi;
    using settings::OwnText;
    return OwnText(kOwnTextUi + 10, "Usage: STM32_Korvane [--service [--exact-timing]]") + "\n  " +
           OwnText(kOwnTextUi + 11,
                   "--service  also show the firmware-upgrade and APN controls (for service "
                   "technicians)") +
           "\n             " +
           OwnText(kOwnTextUi + 14,
                   "its upgrades wait patiently for each answer, as 'korvane flash' "
                   "does, so slow USB adapters and slow erases complete") +
           "\n  " +
           OwnText(kOwnTextUi + 15,
                   "--exact-timing  with --service: the protocol's fixed polls, as the window "
                   "without --service uses") +
           "\n";
}

void UseCatalogueOfProgramFolder()
{
    const std::filesystem::path dir = base::GetExeDir();
    // Without waiting for Sys.dat's lock: a usage message must not hang.
    settings::UseOwnTextCatalogue(
        dir / settings::TextCatalogue::kFileName,
        settings::SettingsStore::PeekLanguage(dir / settings::SettingsStore::kFileName));
}

}  // namespace korvane::app
