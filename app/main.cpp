// Process entry of STM32_Korvane: the Qt application, then the application
// object's one modal run of the main window; the process ends with it.
#include <QApplication>
#include <QDir>
#include <QIcon>

#include "app/CSTM32_KorvaneApp.h"

namespace {

constexpr const char* kApplicationName = "STM32_Korvane";

QIcon ApplicationIcon()
{
    QIcon icon;
    const QDir icons(QStringLiteral(":/icon"));
    for (const QString& file : icons.entryList({QStringLiteral("*.png")}, QDir::Files)) {
        icon.addFile(icons.filePath(file));
    }
    return icon;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(kApplicationName);
    QApplication::setWindowIcon(ApplicationIcon());
    // The one modal run is the program's event loop; closing a window that is
    // shown during it (the precautions form) must not end the process.
    QApplication::setQuitOnLastWindowClosed(false);

    // Built after Qt, so the main window object can create its window; it
    // loads Sys.dat before any window exists.
    korvane::app::CSTM32_KorvaneApp theApp;
    theApp.InitInstance();
    return 0;
}
