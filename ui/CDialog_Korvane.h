// The main window: the driver buttons, the port, image and download controls
// and the APN fields of template 102, their initialisation and their handlers.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "firmware/DownloadJob.h"
#include "framework/CDialog.h"
#include "maintenance/DriverInstall.h"
#include "serial/CMscomm.h"
#include "settings/SettingsStore.h"
#include "settings/TextCatalogue.h"

namespace korvane::ui {

// What the main window takes from its surroundings. Empty members mean the
// real thing; tests put their own in.
struct KorvaneSeams {
    std::filesystem::path programDir;      // empty: the executable's folder
    framework::ModalHost* host = nullptr;  // null: real Qt dialogs
    serial::PortResolver portResolver;     // empty: the platform's port list
    std::function<std::unique_ptr<serial::SerialBackend>()>
        makeSerialBackend;                         // empty: the platform's
    std::function<bool()> isOperatingSystem64Bit;  // empty: maintenance::IsOperatingSystem64Bit
    std::function<void()> resetComPortDatabase;    // empty: maintenance::ResetComPortDatabase
    std::chrono::milliseconds adbTimeLimit{0};     // zero: maintenance::kAdbTimeLimit
    // A service start: the firmware-upgrade and APN controls are shown and laid
    // out (ServiceWindowTemplate); otherwise the window is as shipped.
    bool service = false;
    // How the firmware jobs wait for the radio's answers: the shipped window
    // uses the fixed polls; a service start waits patiently.
    firmware::Pacing pacing = firmware::Pacing::Exact;
};

class CDialog_Korvane : public framework::CDialog {
public:
    static constexpr int IDD = 102;
    static constexpr std::uintptr_t kJobTimerId = 5;
    static constexpr int kJobTimerPeriodMs = 500;

    // Builds the Sys.dat path beside the program and loads `settings` from it,
    // sets the Txt.ini path and the language base; no window exists yet.
    explicit CDialog_Korvane(settings::SettingsStore& settings, KorvaneSeams seams = {});
    ~CDialog_Korvane() override;

    // Handlers of the message table.
    void OnBnClickedClosePort();
    void OnBnClickedOpenPort();
    void OnBnClickedBrowseBoot();
    void OnBnClickedBrowseUser();
    void OnBnClickedFullUpgrade();
    void OnTimer(std::uintptr_t timerId);
    void OnBnClickedUserUpgrade();
    void OnBnClickedClearCount();
    void OnBnClickedWriteApn();
    void OnBnClickedInstallDriver(int controlId);

    void OpenPort(std::int16_t portNumber);
    void InstallDriver(const maintenance::DriverRow& row);

    const std::filesystem::path& BootPath() const { return m_strBootPath; }
    const std::filesystem::path& UserPath() const { return m_strUserPath; }
    const std::filesystem::path& TxtPath() const { return m_strTxtPath; }
    std::int32_t LanguageBase() const { return m_iniFile.LanguageBaseValue(); }
    serial::CMscomm& SerialControl() { return m_mscomm; }
    firmware::DownloadJob& Job() { return m_job; }

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    void OnDestroy() override;
    const framework::MessageMap& GetMessageMap() const override;

private:
    std::string GetText(std::int32_t textId) const;
    std::string CounterLine() const;
    void ShowPortMessage(std::int32_t textId);
    void SetPortButtons(bool portOpen);
    void BrowseImage(std::filesystem::path& path, int editId, int labelId);
    std::string ImageCrcText(const std::filesystem::path& path);
    // The steps of the initialisation, in DoDataExchange's order.
    void BindControls(framework::CDataExchange* pDX);
    void FillPortList();
    void EnableButtonsForClosedPort();
    void SetCaptions();
    void ShowPrecautions();
    void EnableDriverButtonForWordSize();
    void ShowDriverOutcome(const maintenance::DriverRow& row,
                           const maintenance::ProcessResult& result);
    void StartJob(firmware::UpgradeMode mode);
    void SetStatusLine(const std::string& text);

    // Wiring first: the members below are built from it.
    settings::SettingsStore& m_settings;  // the application's m_strSysPath and m_sysData
    KorvaneSeams m_seams;
    std::filesystem::path m_programDir;

    serial::CMscomm m_mscomm;
    std::filesystem::path m_strBootPath;
    std::filesystem::path m_strUserPath;
    std::filesystem::path m_strTxtPath;
    // The text catalogue Txt.ini beside the program, in the language Sys.dat
    // names (its language base is LanguageBase()): the window's captions and
    // messages come from it.
    settings::TextCatalogue m_iniFile;
    std::string m_strStatus;  // the status line as last shown or set here
    framework::CComboBox m_comboPort;
    framework::CEdit m_editBootPath;
    framework::CEdit m_editUserPath;
    // Answers whether the operating system is 64-bit (the seam's, or
    // maintenance::IsOperatingSystem64Bit), which picks the driver buttons.
    std::function<bool()> m_pfnIsWow64Process;
    framework::CProgressCtrl m_progress;
    bool m_bPortOpen = false;  // opened here and not closed since
    // The download job: its worker, m_nUpgradeMode, m_nWorkerState and the
    // job's record (status text, progress). Declared last, so it goes first.
    firmware::DownloadJob m_job;
};

}  // namespace korvane::ui
