// The main window: construction, the initialisation sequence, and the handlers
// of the port, image, download, counter, APN and driver controls.
#include "ui/CDialog_Korvane.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <system_error>
#include <utility>
#include <vector>

#include "base/ExeDir.h"
#include "base/SafeFormat.h"
#include "error/Error.h"
#include "firmware/image/Image.h"
#include "firmware/image/Qorin_CRC32.h"
#include "framework/CFileDialog.h"
#include "framework/Text.h"
#include "maintenance/Apn.h"
#include "maintenance/SystemInfo.h"
#include "serial/DownloadPort.h"
#include "serial/PortList.h"
#include "settings/FileBlock.h"
#include "settings/OwnText.h"
#include "ui/CForm_MAP.h"
#include "ui/ControlIds.h"
#include "ui/Templates.h"

namespace korvane::ui {

namespace {

using framework::IDOK;
using framework::MessageButtons;
using framework::MessageIcon;

constexpr const char* kWindowTitle = "Driver";
constexpr const char* kSection = settings::TextCatalogue::kSection;

// Catalogue text ids.
constexpr std::int32_t kTextCounter = 1;
constexpr std::int32_t kTextPortOpened = 11;
constexpr std::int32_t kTextPortStillOpen = 12;
constexpr std::int32_t kTextPortClosed = 20;
constexpr std::int32_t kTextJobStarted = 21;
constexpr std::int32_t kTextImageMissing = 22;
constexpr std::int32_t kTextImageFilter = 33;

// Port list: index i stands for port number i + 1.
constexpr std::array<const char*, 6> kPortNames = {"COM01", "COM02", "COM03",
                                                   "COM04", "COM05", "COM06"};

constexpr const char* kImageExtension = "bin";
constexpr const char* kImageInitialName = "*.bin";

struct CaptionRow {
    std::int32_t textId;
    int controlId;
};
constexpr std::array<CaptionRow, 13> kCaptionTable = {{
    {0, kIdApnHeading},
    {40, kIdPortLabel},
    {41, kIdBootLabel},
    {42, kIdUserLabel},
    {43, kIdStatusLabel},
    {44, kIdStatus},
    {45, kIdOpenPort},
    {46, kIdClosePort},
    {47, kIdBrowseBoot},
    {47, kIdBrowseUser},
    {48, kIdFullUpgrade},
    {49, kIdUserUpgrade},
    {50, kIdClearCount},
}};

// Which driver button can be pressed: the one for this system's word size.
struct DriverButtonRow {
    int controlId;
    bool enabledOn64Bit;
};
constexpr std::array<DriverButtonRow, 4> kDriverButtons = {{
    {kIdDriverK305M32, false},
    {kIdDriverQx832, false},
    {kIdDriverK305M64, true},
    {kIdDriverQx864, true},
}};

using settings::kOwnTextUi;
using settings::OwnText;

bool IsLargerThanImageBuffer(const std::filesystem::path& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return !error && size > firmware::kImageBufferSize;
}

std::string TooLargeText(const std::filesystem::path& path)
{
    return OwnText(kOwnTextUi + 0,
                   "The file {0} is larger than {1} bytes, the largest firmware image the radio "
                   "takes. It was not used; please choose the right .bin file.",
                   {framework::PathToUtf8(path), std::to_string(firmware::kImageBufferSize)});
}

// Something that exists but is not a regular file (a named pipe, a device, a
// folder): opening a pipe would wait for a writer forever, and a device has
// no end, so it is refused by what it is, before anything opens it.
bool IsOtherThanRegularFile(const std::filesystem::path& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

std::string NotRegularText(const std::filesystem::path& path)
{
    return OwnText(kOwnTextUi + 1,
                   "{0} is not a regular file (it is a folder, a device or a pipe) and cannot be a "
                   "firmware image. Please choose the right .bin file.",
                   {framework::PathToUtf8(path)});
}

maintenance::RunLimits StopWith(const std::atomic<bool>& stop,
                                std::chrono::milliseconds timeLimit = {})
{
    maintenance::RunLimits limits;
    limits.timeLimit = timeLimit;
    limits.stopRequested = [&stop] { return stop.load(); };
    return limits;
}

}  // namespace

CDialog_Korvane::CDialog_Korvane(settings::SettingsStore& settings, KorvaneSeams seams)
    : framework::CDialog(seams.service ? ServiceWindowTemplate() : MainWindowTemplate(),
                         seams.host),
      m_settings(settings),
      m_seams(std::move(seams)),
      m_programDir(m_seams.programDir.empty() ? base::GetExeDir() : m_seams.programDir),
      m_mscomm(
          m_seams.makeSerialBackend ? m_seams.makeSerialBackend() : serial::MakePlatformBackend(),
          m_seams.portResolver ? m_seams.portResolver
                               : serial::PortResolver(serial::ResolvePortNumber)),
      m_job(m_mscomm.Port(), m_settings)
{
    m_job.SetPacing(m_seams.pacing);
    m_settings.Load(m_programDir / settings::SettingsStore::kFileName);
    m_strTxtPath = m_programDir / settings::TextCatalogue::kFileName;
    m_iniFile = settings::TextCatalogue(m_strTxtPath, m_settings.Language());
    // Our own messages (and those of the core beneath) in the user's language.
    settings::UseOwnTextCatalogue(m_strTxtPath, m_settings.Language());
}

CDialog_Korvane::~CDialog_Korvane()
{
    // The worker uses the serial control and the settings: it ends first.
    m_job.Stop();
}

const framework::MessageMap& CDialog_Korvane::GetMessageMap() const
{
    using framework::OnClicked;
    using Self = CDialog_Korvane;
    static const framework::MessageMap map = {
        OnClicked(kIdClosePort, &Self::OnBnClickedClosePort),
        OnClicked(kIdOpenPort, &Self::OnBnClickedOpenPort),
        OnClicked(kIdBrowseBoot, &Self::OnBnClickedBrowseBoot),
        OnClicked(kIdBrowseUser, &Self::OnBnClickedBrowseUser),
        OnClicked(kIdFullUpgrade, &Self::OnBnClickedFullUpgrade),
        framework::OnTimerMessage(&Self::OnTimer),
        OnClicked(kIdUserUpgrade, &Self::OnBnClickedUserUpgrade),
        OnClicked(kIdClearCount, &Self::OnBnClickedClearCount),
        OnClicked(kIdWriteApn, &Self::OnBnClickedWriteApn),
        OnClicked(kIdDriverK305M32, &Self::OnBnClickedInstallDriver),
        OnClicked(kIdDriverK305M64, &Self::OnBnClickedInstallDriver),
        OnClicked(kIdDriverQx832, &Self::OnBnClickedInstallDriver),
        OnClicked(kIdDriverQx864, &Self::OnBnClickedInstallDriver),
    };
    return map;
}

std::string CDialog_Korvane::GetText(std::int32_t textId) const
{
    return m_iniFile.GetText(kSection, textId);
}

std::string CDialog_Korvane::CounterLine() const
{
    return base::SafeFormat(GetText(kTextCounter), m_settings.UpgradeCount());
}

// The whole initialisation sequence; it runs when the window is created and
// again when the window is ended through OK.
void CDialog_Korvane::DoDataExchange(framework::CDataExchange* pDX)
{
    SetWindowText(kWindowTitle);
    BindControls(pDX);
    FillPortList();
    SetDlgItemText(kIdCounter, CounterLine());
    EnableButtonsForClosedPort();
    SetCaptions();
    ShowPrecautions();
    EnableDriverButtonForWordSize();
}

void CDialog_Korvane::BindControls(framework::CDataExchange* pDX)
{
    // The serial control (1008) is the member m_mscomm itself; its control only holds the place.
    framework::DDX_Control(pDX, kIdPortList, m_comboPort);
    framework::DDX_Control(pDX, kIdBootPath, m_editBootPath);
    framework::DDX_Control(pDX, kIdUserPath, m_editUserPath);
    framework::DDX_Control(pDX, kIdProgress, m_progress);
}

void CDialog_Korvane::FillPortList()
{
    m_comboPort.ResetContent();
    for (const char* name : kPortNames) m_comboPort.AddString(name);
    m_comboPort.SetCurSel(m_settings.ComIndex());  // 6 or more selects nothing
}

// Only the open button: the others wait for a port.
void CDialog_Korvane::EnableButtonsForClosedPort()
{
    EnableItem(kIdOpenPort, true);
    EnableItem(kIdClosePort, false);
    EnableItem(kIdFullUpgrade, false);
    EnableItem(kIdUserUpgrade, false);
}

void CDialog_Korvane::SetCaptions()
{
    for (const CaptionRow& row : kCaptionTable) SetDlgItemText(row.controlId, GetText(row.textId));
}

// The precautions form, modal, between two resets of the COM-port database.
void CDialog_Korvane::ShowPrecautions()
{
    const auto resetComPortDatabase =
        m_seams.resetComPortDatabase ? m_seams.resetComPortDatabase
                                     : std::function<void()>(maintenance::ResetComPortDatabase);
    resetComPortDatabase();
    CForm_MAP precautions(&Host());
    Host().RunModal(precautions);
    resetComPortDatabase();
}

void CDialog_Korvane::EnableDriverButtonForWordSize()
{
    m_pfnIsWow64Process = m_seams.isOperatingSystem64Bit
                              ? m_seams.isOperatingSystem64Bit
                              : std::function<bool()>(maintenance::IsOperatingSystem64Bit);
    const bool is64Bit = m_pfnIsWow64Process ? m_pfnIsWow64Process() : false;
    for (const DriverButtonRow& row : kDriverButtons) {
        EnableItem(row.controlId, row.enabledOn64Bit == is64Bit);
    }
}

void CDialog_Korvane::OnDestroy()
{
    // Closing the window during a job stops the worker and waits for it.
    m_job.Stop();
}

void CDialog_Korvane::ShowPortMessage(std::int32_t textId)
{
    AfxMessageBox(base::SafeFormat(GetText(textId), m_settings.ComIndex()));
}

void CDialog_Korvane::SetPortButtons(bool portOpen)
{
    m_bPortOpen = portOpen;
    EnableItem(kIdOpenPort, !portOpen);
    EnableItem(kIdClosePort, portOpen);
    EnableItem(kIdFullUpgrade, portOpen);
    EnableItem(kIdUserUpgrade, portOpen);
}

void CDialog_Korvane::OnBnClickedOpenPort()
{
    // No selection gives index -1, so port number 0, which the serial control refuses.
    OpenPort(static_cast<std::int16_t>(m_comboPort.GetCurSel() + 1));
}

// A serial failure at any step leaves this handler; the framework shows it and
// nothing after the failed step happens.
void CDialog_Korvane::OpenPort(std::int16_t portNumber)
{
    // A port still open from before is closed first, whatever happens next.
    m_bPortOpen = false;
    if (serial::OpenPortForDownload(m_mscomm, portNumber) == serial::DownloadPortOpen::StillOpen) {
        ShowPortMessage(kTextPortStillOpen);
        return;
    }
    ShowPortMessage(kTextPortOpened);
    const auto index = static_cast<std::uint8_t>(portNumber - 1);
    m_settings.Modify([index](settings::SysData& data) { data.SetComIndex(index); });
    SetPortButtons(true);
}

void CDialog_Korvane::OnBnClickedClosePort()
{
    m_mscomm.SetPortOpen(false);
    SetPortButtons(false);
    ShowPortMessage(kTextPortClosed);
}

void CDialog_Korvane::OnBnClickedBrowseBoot()
{
    BrowseImage(m_strBootPath, kIdBootPath, kIdBootCrc);
}

void CDialog_Korvane::OnBnClickedBrowseUser()
{
    BrowseImage(m_strUserPath, kIdUserPath, kIdUserCrc);
}

// A cancelled dialog empties the path, the edit and the label; a file that
// cannot be opened keeps its path (the job reports it) and empties the label;
// a file that cannot be an image (too large, not a regular file) is refused
// with a message. A read that fails after the open leaves this handler as a
// file error, which the framework shows; the edit and the label keep their texts.
void CDialog_Korvane::BrowseImage(std::filesystem::path& path, int editId, int labelId)
{
    std::string crcText;
    framework::CFileDialog dialog(Host(), kImageExtension, kImageInitialName, true,
                                  GetText(kTextImageFilter));
    path.clear();
    if (dialog.DoModal() == IDOK) {
        path = framework::PathFromUtf8(dialog.GetPathName());
        if (IsOtherThanRegularFile(path)) {
            AfxMessageBox(NotRegularText(path));
            path.clear();
        } else if (IsLargerThanImageBuffer(path)) {
            AfxMessageBox(TooLargeText(path));
            path.clear();
        } else {
            crcText = ImageCrcText(path);
        }
    }
    SetDlgItemText(editId, framework::PathToUtf8(path));
    SetDlgItemText(labelId, crcText);
}

// The image read as the job would read it, into bytes of the browse's own, so
// a browse during a download cannot disturb the job. Empty when the file
// cannot be opened (the job reports that when it starts); a read that fails
// after the open leaves as the image's error, which the framework shows.
std::string CDialog_Korvane::ImageCrcText(const std::filesystem::path& path)
{
    std::vector<std::uint8_t> image;
    try {
        image = firmware::LoadImage(path);
    } catch (const firmware::ImageError& error) {
        if (error.Problem() == firmware::ImageProblem::CannotOpen) return {};
        throw;
    }
    const firmware::Qorin_CRC32 crc;
    return firmware::FormatCrcLabel(crc.Compute(image));
}

void CDialog_Korvane::OnBnClickedFullUpgrade()
{
    StartJob(firmware::UpgradeMode::Full);
}

void CDialog_Korvane::OnBnClickedUserUpgrade()
{
    StartJob(firmware::UpgradeMode::UserProgram);
}

void CDialog_Korvane::StartJob(firmware::UpgradeMode mode)
{
    // A full upgrade checks the boot image only; the loader stage meets the user image itself.
    const std::filesystem::path& image =
        mode == firmware::UpgradeMode::Full ? m_strBootPath : m_strUserPath;
    std::error_code error;
    if (image.empty() || !std::filesystem::is_regular_file(image, error)) {
        SetStatusLine(GetText(kTextImageMissing));
        AfxMessageBox(m_strStatus);
        return;
    }
    if (IsLargerThanImageBuffer(image)) {
        AfxMessageBox(TooLargeText(image));
        return;
    }
    SetStatusLine(GetText(kTextJobStarted));
    SetTimer(kJobTimerId, kJobTimerPeriodMs);
    m_progress.SetRange(0, firmware::kProgressMax);
    EnableItem(kIdFullUpgrade, false);
    EnableItem(kIdUserUpgrade, false);
    m_job.Start(mode, m_strBootPath, m_strUserPath);
}

// The status line lives in the job, under its lock, so the worker and the
// dialog never write it at the same time.
void CDialog_Korvane::SetStatusLine(const std::string& text)
{
    m_strStatus = text;
    m_job.SetStatus(text);
}

void CDialog_Korvane::OnTimer(std::uintptr_t timerId)
{
    if (timerId != kJobTimerId) return;
    const firmware::JobSnapshot job = m_job.Snapshot();
    m_progress.SetPos(firmware::BarPosition(job.record));
    m_strStatus = job.record.status;
    SetDlgItemText(kIdStatus, m_strStatus);
    SetDlgItemText(kIdCounter, CounterLine());
    // A new job needs an open port: the start buttons come back only with one.
    // The dialog's own record is asked, not the port, whose lock the worker may
    // hold for a whole block write.
    if (job.workerState > firmware::WorkerState::Running && m_bPortOpen) {
        EnableItem(kIdFullUpgrade, true);
        EnableItem(kIdUserUpgrade, true);
    }
}

void CDialog_Korvane::OnBnClickedClearCount()
{
    m_settings.Modify([](settings::SysData& data) { data.SetUpgradeCount(0); });
    SetDlgItemText(kIdCounter, CounterLine());
}

// adb runs off the window's thread; a failure (adb missing, out of time, a
// refusal) is shown once it is over.
void CDialog_Korvane::OnBnClickedWriteApn()
{
    const maintenance::ApnFields fields{GetDlgItemText(kIdApnName), GetDlgItemText(kIdApn),
                                        GetDlgItemText(kIdApnUser), GetDlgItemText(kIdApnPassword),
                                        GetDlgItemText(kIdApnNumeric)};
    SetDlgItemText(kIdApnCommand, maintenance::BuildApnCommand(fields).displayUpToName);
    auto result = std::make_shared<maintenance::ProcessResult>();
    RunInBackground(
        [result, fields, programDir = m_programDir,
         timeLimit = m_seams.adbTimeLimit](const std::atomic<bool>& stop) {
            *result = maintenance::WriteApn(programDir, fields, StopWith(stop, timeLimit));
        },
        [this, result] {
            if (result->Succeeded()) return;
            AfxMessageBox(
                maintenance::DescribeOutcome(*result, "adb", maintenance::AdbHint(*result)));
        });
}

void CDialog_Korvane::OnBnClickedInstallDriver(int controlId)
{
    if (const maintenance::DriverRow* row = maintenance::FindDriverRow(controlId))
        InstallDriver(*row);
}

void CDialog_Korvane::InstallDriver(const maintenance::DriverRow& row)
{
    const std::string caption(maintenance::kPromptCaption);
    const int answer = MessageBox(std::string(row.question), caption, MessageButtons::OkCancel,
                                  MessageIcon::Question);
    if (answer != IDOK) {
        MessageBox(std::string(row.failureMessage), caption, MessageButtons::OkCancel,
                   MessageIcon::Information);
        return;
    }
    // The script runs off the window's thread; the message after it comes when it is over.
    auto result = std::make_shared<maintenance::ProcessResult>();
    RunInBackground(
        [result, row, programDir = m_programDir](const std::atomic<bool>& stop) {
            *result = maintenance::RunDriverScript(programDir, row, StopWith(stop));
        },
        [this, row, result] { ShowDriverOutcome(row, *result); });
}

void CDialog_Korvane::ShowDriverOutcome(const maintenance::DriverRow& row,
                                        const maintenance::ProcessResult& result)
{
    std::string outcome(result.Succeeded() ? row.successMessage : row.failureMessage);
    if (!result.Succeeded()) {
        // Say why, too: the script's own words (not run as root, udev missing, ...)
        // are what the technician needs to put it right.
        const auto script = maintenance::DriverScriptPath(m_programDir, row).filename();
        outcome += "\n\n" + maintenance::DescribeOutcome(result, framework::PathToUtf8(script));
    }
    MessageBox(outcome, std::string(maintenance::kPromptCaption), MessageButtons::OkCancel,
               MessageIcon::Information);
}

}  // namespace korvane::ui
