// Process entry of STM32_Korvane: the start options, the Qt application (or one
// line saying why no window can open), then the application object's one modal
// run of the main window; the process ends with it.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/CSTM32_KorvaneApp.h"
#include "settings/FileBlock.h"
#include "settings/OwnText.h"
#include "settings/SettingsStore.h"
#include "settings/TextCatalogue.h"

namespace {

constexpr const char* kApplicationName = "STM32_Korvane";
constexpr std::string_view kServiceOption = "--service";
constexpr int kExitNoDisplay = 1;
constexpr int kExitUsage = 2;

QIcon ApplicationIcon()
{
    QIcon icon;
    const QDir icons(QStringLiteral(":/icon"));
    for (const QString& file : icons.entryList({QStringLiteral("*.png")}, QDir::Files)) {
        icon.addFile(icons.filePath(file));
    }
    return icon;
}

// Our own texts in the language Sys.dat names, before any window exists.
void UseCatalogueOfProgramFolder()
{
    const std::filesystem::path dir = korvane::settings::GetExeDir();
    korvane::settings::SettingsStore settings;
    settings.Load(dir / korvane::settings::SettingsStore::kFileName);
    korvane::settings::UseOwnTextCatalogue(dir / korvane::settings::TextCatalogue::kFileName,
                                           settings.Language());
}

std::string UsageText()
{
    using korvane::settings::kOwnTextUi;
    using korvane::settings::OwnText;
    return OwnText(kOwnTextUi + 10, "Usage: STM32_Korvane [--service]") + "\n  " +
           OwnText(kOwnTextUi + 11,
                   "--service  also show the firmware-upgrade and APN controls (for service "
                   "technicians)") +
           "\n";
}

// While Qt starts, its messages are held back: when no window system can be
// reached Qt ends the process with several lines about platform plugins, and
// a person needs one line saying what is missing and what to do instead.
std::vector<std::pair<QtMsgType, std::string>>* g_heldBack = nullptr;

void DuringStart(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        g_heldBack->emplace_back(type, message.toStdString());
        return;
    }
    const std::string display = qEnvironmentVariable("DISPLAY").toStdString();
    const std::string line = korvane::settings::OwnText(
        korvane::settings::kOwnTextUi + 12,
        "STM32_Korvane: no display to open its window on (DISPLAY is \"{0}\"). Start it from a "
        "desktop session, or without one through a virtual display: xvfb-run ./STM32_Korvane",
        {display});
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    std::_Exit(kExitNoDisplay);
}

}  // namespace

int main(int argc, char* argv[])
{
    UseCatalogueOfProgramFolder();
    bool service = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == kServiceOption) {
            service = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        } else if (arg.starts_with("--")) {
            // Qt's own options (-platform, -style, ...) have one dash.
            const std::string unknown = korvane::settings::OwnText(
                korvane::settings::kOwnTextUi + 13, "STM32_Korvane: unknown option {0}", {arg});
            std::fprintf(stderr, "%s\n%s", unknown.c_str(), UsageText().c_str());
            return kExitUsage;
        }
    }

    std::vector<std::pair<QtMsgType, std::string>> heldBack;
    g_heldBack = &heldBack;
    const QtMessageHandler previous = qInstallMessageHandler(DuringStart);
    QApplication application(argc, argv);
    qInstallMessageHandler(previous);
    for (const auto& [type, message] : heldBack) {
        qt_message_output(type, QMessageLogContext(), QString::fromStdString(message));
    }
    g_heldBack = nullptr;

    QApplication::setApplicationName(kApplicationName);
    QApplication::setWindowIcon(ApplicationIcon());
    // The one modal run is the program's event loop; closing a window that is
    // shown during it (the precautions form) must not end the process.
    QApplication::setQuitOnLastWindowClosed(false);

    // Built after Qt, so the main window object can create its window; it
    // loads Sys.dat before any window exists.
    korvane::app::CSTM32_KorvaneApp theApp(service);
    theApp.InitInstance();
    return 0;
}
