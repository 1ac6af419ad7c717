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
#include "app/StartOptions.h"
#include "settings/OwnText.h"

namespace {

constexpr const char* kApplicationName = "STM32_Korvane";
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
    korvane::app::UseCatalogueOfProgramFolder();
    const korvane::app::StartOptions options =
        korvane::app::ParseStartOptions(std::vector<std::string_view>(argv + 1, argv + argc));
    switch (options.action) {
        case korvane::app::StartOptions::Action::Help:
            std::fputs(korvane::app::UsageText().c_str(), stdout);
            return 0;
        case korvane::app::StartOptions::Action::Refuse:
            std::fputs(options.refusal.c_str(), stderr);
            return kExitUsage;
        case korvane::app::StartOptions::Action::Run:
            break;
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
    korvane::app::CSTM32_KorvaneApp theApp(options.service, korvane::app::JobPacing(options));
    theApp.InitInstance();
    return 0;
}
