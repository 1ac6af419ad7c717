// Renders the real main window, the precautions form and the main window of a
// service start (--service) offscreen and saves them as PNG pictures:
// render_windows <program folder> <output folder>.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <filesystem>

#include "settings/SettingsStore.h"
#include "tests/ui/ScriptedHost.h"
#include "ui/CDialog_Korvane.h"
#include "ui/CForm_MAP.h"

namespace {

bool Save(QWidget& window, const QString& path)
{
    window.show();
    QApplication::processEvents();
    const bool saved = window.grab().save(path, "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_windows <program folder> <output folder>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString output = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(output);

    // The precautions form is rendered on its own below; here it closes at once.
    korvane::testing::ScriptedHost host;
    korvane::settings::SettingsStore settings;
    korvane::ui::KorvaneSeams seams;
    seams.programDir = std::filesystem::path(argv[1]);
    seams.host = &host;
    seams.resetComPortDatabase = [] {};
    bool ok = true;
    {
        korvane::ui::CDialog_Korvane mainWindow(settings, seams);
        mainWindow.Create(false);
        korvane::ui::CForm_MAP precautions(&host);
        precautions.Create(false);
        ok = Save(*mainWindow.Window(), output + QStringLiteral("/main-window.png")) &&
             Save(*precautions.Window(), output + QStringLiteral("/precautions.png"));
    }
    seams.service = true;
    korvane::ui::CDialog_Korvane serviceWindow(settings, seams);
    serviceWindow.Create(false);
    ok = ok && Save(*serviceWindow.Window(), output + QStringLiteral("/service-window.png"));
    return ok ? 0 : 1;
}
