// The application object: owns the settings record and the main window for the
// whole process and runs the main window modally, once.
#pragma once

#include "settings/SettingsStore.h"
#include "ui/CDialog_Korvane.h"

namespace korvane::app {

class CSTM32_KorvaneApp {
public:
    // Builds the main window object, which loads Sys.dat; no window exists yet.
    // `service`: the window of a service start (STM32_Korvane --service);
    // `pacing`: how its upgrades wait for the radio.
    explicit CSTM32_KorvaneApp(bool service = false,
                               firmware::Pacing pacing = firmware::Pacing::Exact);

    // Runs the main window modally once. Returns false: there is no message
    // loop after it, the process ends.
    bool InitInstance();

    settings::SettingsStore& Settings() { return m_settings; }
    ui::CDialog_Korvane& MainDialog() { return m_dlgMain; }

private:
    // m_strSysPath and m_sysData, kept together under one lock.
    settings::SettingsStore m_settings;
    // Declared last: built after the settings and destroyed before them.
    ui::CDialog_Korvane m_dlgMain;
};

}  // namespace korvane::app
