// The main window: start-up sequence, port buttons, driver buttons, APN, image
// browsing and the download job as the user meets them, with the precautions
// form, message boxes and file dialogs answered by a scripted host.
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QProgressBar>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/SafeFormat.h"
#include "firmware/DownloadJob.h"
#include "firmware/image/Image.h"
#include "framework/Text.h"
#include "maintenance/Apn.h"
#include "maintenance/DriverInstall.h"
#include "serial/SerialError.h"
#include "settings/SettingsStore.h"
#include "sim/PtyRadio.h"
#include "tests/support/Pty.h"
#include "tests/ui/ScriptedHost.h"
#include "ui/CDialog_Korvane.h"
#include "ui/ControlIds.h"
#include "ui/Templates.h"

namespace korvane::ui {
namespace {

namespace fs = std::filesystem;
using framework::IDCANCEL;
using framework::IDOK;
using framework::MessageButtons;
using framework::MessageIcon;
using testing::ScriptedHost;

constexpr std::int32_t kLanguageBases[] = {0, 100000, 800000};
constexpr std::int32_t kCaptionIds[] = {0, 40, 41, 42, 43, 44, 45, 46, 47, 47, 48, 49, 50};
constexpr int kCaptionControls[] = {kIdApnHeading,  kIdPortLabel,  kIdBootLabel,   kIdUserLabel,
                                    kIdStatusLabel, kIdStatus,     kIdOpenPort,    kIdClosePort,
                                    kIdBrowseBoot,  kIdBrowseUser, kIdFullUpgrade, kIdUserUpgrade,
                                    kIdClearCount};

std::string Key(std::int32_t base, std::int32_t id)
{
    std::ostringstream key;
    key.width(6);
    key.fill('0');
    key << base + id;
    return key.str();
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A program folder of its own: Txt.ini with a marked text for every id in
// every language range, and Sys.dat when a test asks for one.
class ProgramFolder {
public:
    ProgramFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "korvane-ui-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_dir = pattern;
        std::string ini = "[Pub]\n";
        for (const std::int32_t base : kLanguageBases) {
            for (const std::int32_t id : kCaptionIds)
                ini += Key(base, id) + "=T" + Key(base, id) + "\n";
            ini += Key(base, 1) + "=count %d\n";
            ini += Key(base, 11) + "=opened %d\n";
            ini += Key(base, 12) + "=still open %d\n";
            ini += Key(base, 20) + "=closed %d\n";
            ini += Key(base, 21) + "=starting\n";
            ini += Key(base, 22) + "=no image\n";
            ini += Key(base, 33) + "=BIN|*.bin||\n";
        }
        WriteFile(m_dir / "Txt.ini", ini);
    }
    ~ProgramFolder()
    {
        std::error_code error;
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(m_dir, error);
    }

    const fs::path& Dir() const { return m_dir; }
    fs::path SysDat() const { return m_dir / "Sys.dat"; }

    void WriteSysData(std::uint8_t language, std::uint8_t comIndex, std::int32_t count) const
    {
        settings::SysData data;
        data.SetLanguage(language);
        data.SetComIndex(comIndex);
        data.SetUpgradeCount(count);
        WriteFile(SysDat(), std::string(data.Bytes().begin(), data.Bytes().end()));
    }
    settings::SysData ReadSysData() const
    {
        settings::SysData data;
        const std::string bytes = ReadFile(SysDat());
        std::copy_n(bytes.begin(), std::min(bytes.size(), data.Bytes().size()),
                    data.Bytes().begin());
        return data;
    }

private:
    fs::path m_dir;
};

// One main window with its seams in the test's hands.
struct Harness {
    explicit Harness(const ProgramFolder& folder, bool is64Bit = true,
                     serial::PortResolver resolver = {},
                     firmware::Pacing pacing = firmware::Pacing::Exact)
    {
        seams.programDir = folder.Dir();
        seams.pacing = pacing;
        seams.host = &host;
        seams.isOperatingSystem64Bit = [is64Bit] { return is64Bit; };
        seams.resetComPortDatabase = [this] { events.push_back("reset"); };
        seams.portResolver = resolver ? std::move(resolver) : [](int number) -> std::string {
            throw serial::SerialError(serial::SerialErrorKind::NoSuchPort,
                                      "there is no serial port " + std::to_string(number));
        };
        host.onModal = [this](framework::CDialog& form) {
            const bool mainShown = dialog && dialog->Window() && dialog->Window()->isVisible();
            events.push_back("form " + std::to_string(form.Template().id) +
                             (mainShown ? " over the shown window" : " alone"));
            return IDCANCEL;
        };
        dialog.emplace(settings, seams);
    }

    void Create() { dialog->Create(true); }
    QComboBox& PortList() { return *static_cast<QComboBox*>(dialog->GetDlgItem(kIdPortList)); }
    void Click(int id) { dialog->DispatchCommand(id); }
    // A click whose work runs off the window's thread, and the wait until its
    // message has come back to the window's thread.
    void ClickAndWait(int id)
    {
        Click(id);
        while (dialog->IsBusy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    bool Enabled(int id) { return dialog->IsItemEnabled(id); }
    std::string Text(int id) { return dialog->GetDlgItemText(id); }

    ScriptedHost host;
    KorvaneSeams seams;
    settings::SettingsStore settings;
    std::vector<std::string> events;
    std::optional<CDialog_Korvane> dialog;
};

// Template 102 as a whole: what is on screen, and which controls take the focus.
TEST(MainWindowTemplateTest, OnlyTheQx8GroupIsVisibleAndInputsAreTabStops)
{
    using framework::ControlKind;
    const framework::DialogTemplate& t = MainWindowTemplate();
    EXPECT_EQ(t.controls.size(), 50u);
    std::set<int> ids;
    std::vector<std::string> shown;
    for (const framework::ControlTemplate& control : t.controls) {
        if (control.id != framework::kNoId) {
            EXPECT_TRUE(ids.insert(control.id).second) << control.id;
        }
        if (control.shown) shown.push_back(control.caption);
        const bool input =
            control.kind == ControlKind::PushButton || control.kind == ControlKind::DefPushButton ||
            control.kind == ControlKind::Edit || control.kind == ControlKind::DropDownList ||
            control.kind == ControlKind::SerialControl;
        EXPECT_EQ(control.tabStop, input) << control.id << " " << control.caption;
    }
    const std::vector<std::string> expected = {"",  // the serial control's place
                                               "Install 32 bit Drivers:",
                                               "Install 64 bit Dribers:",
                                               "32 bit",
                                               "64 bit",
                                               "QX-8 Drivers",
                                               "QX-8 Drivers"};
    EXPECT_EQ(shown, expected);
}

TEST(MainWindowStartTest, TitleIsDriverWithAndWithoutTheCatalogue)
{
    for (const bool withCatalogue : {true, false}) {
        ProgramFolder folder;
        if (!withCatalogue) fs::remove(folder.Dir() / "Txt.ini");
        Harness h(folder);
        h.Create();
        EXPECT_EQ(h.dialog->GetWindowText(), "Driver");
        // Without a catalogue the captions it would give are empty; the visible
        // driver group keeps the template's texts.
        EXPECT_EQ(h.Text(kIdOpenPort), withCatalogue ? "T000045" : "");
        EXPECT_EQ(h.Text(kIdCounter), withCatalogue ? "count 0" : "");
        EXPECT_EQ(h.Text(kIdDriverQx864), "64 bit");
    }
}

TEST(MainWindowStartTest, ConstructionFindsBothFilesBesideTheProgram)
{
    ProgramFolder folder;
    folder.WriteSysData(1, 0, 0);
    Harness h(folder);
    EXPECT_EQ(h.settings.Path(), folder.SysDat());
    EXPECT_EQ(h.dialog->TxtPath(), folder.Dir() / "Txt.ini");
    EXPECT_EQ(h.dialog->LanguageBase(), 100000);
    EXPECT_EQ(h.dialog->Window(), nullptr);  // no window before the modal run
}

TEST(MainWindowStartTest, CaptionsAndCounterComeFromTheLanguageRange)
{
    struct Case {
        std::uint8_t language;
        std::int32_t base;
    };
    for (const Case& c : {Case{0, 0}, Case{1, 100000}, Case{7, 800000}}) {
        ProgramFolder folder;
        folder.WriteSysData(c.language, 0, 42);
        Harness h(folder);
        h.Create();
        for (std::size_t row = 0; row < std::size(kCaptionIds); ++row) {
            EXPECT_EQ(h.Text(kCaptionControls[row]), "T" + Key(c.base, kCaptionIds[row]))
                << "language " << int(c.language) << " control " << kCaptionControls[row];
        }
        EXPECT_EQ(h.Text(kIdCounter), "count 42");
    }
}

TEST(MainWindowStartTest, PortListSelectsTheSavedEntry)
{
    struct Case {
        std::uint8_t comIndex;
        int selected;
    };
    for (const Case& c : {Case{0, 0}, Case{5, 5}, Case{6, -1}, Case{255, -1}}) {
        ProgramFolder folder;
        folder.WriteSysData(0, c.comIndex, 0);
        Harness h(folder);
        h.Create();
        ASSERT_EQ(h.PortList().count(), 6);
        EXPECT_EQ(h.PortList().itemText(0), "COM01");
        EXPECT_EQ(h.PortList().itemText(5), "COM06");
        EXPECT_EQ(h.PortList().currentIndex(), c.selected) << "comIndex " << int(c.comIndex);
    }
}

TEST(MainWindowStartTest, OnlyTheDriverButtonsOfThisWordSizeAreEnabled)
{
    for (const bool is64Bit : {true, false}) {
        ProgramFolder folder;
        Harness h(folder, is64Bit);
        h.Create();
        EXPECT_EQ(h.Enabled(kIdDriverQx864), is64Bit);
        EXPECT_EQ(h.Enabled(kIdDriverK305M64), is64Bit);
        EXPECT_EQ(h.Enabled(kIdDriverQx832), !is64Bit);
        EXPECT_EQ(h.Enabled(kIdDriverK305M32), !is64Bit);
    }
}

TEST(MainWindowStartTest, OnlyTheQx8GroupIsShownAndThePortButtonsStartClosed)
{
    ProgramFolder folder;
    Harness h(folder);
    h.Create();
    for (const int id : {kIdDriverQx832, kIdDriverQx864}) EXPECT_TRUE(h.dialog->IsItemShown(id));
    for (const int id : {kIdDriverK305M32, kIdDriverK305M64, kIdOpenPort, kIdPortList, kIdStatus,
                         kIdApnName, kIdWriteApn, framework::IDOK, framework::IDCANCEL}) {
        EXPECT_FALSE(h.dialog->IsItemShown(id)) << id;
    }
    EXPECT_TRUE(h.Enabled(kIdOpenPort));
    EXPECT_FALSE(h.Enabled(kIdClosePort));
    EXPECT_FALSE(h.Enabled(kIdFullUpgrade));
    EXPECT_FALSE(h.Enabled(kIdUserUpgrade));
    EXPECT_FALSE(h.Enabled(kIdWriteApn));
}

// The modal run as the program makes it: the precautions form between the two
// resets, before the window is shown; once more when the window ends through OK.
TEST(MainWindowStartTest, PrecautionsComeFirstAndAgainOnlyWhenEndedThroughOk)
{
    const std::vector<std::string> once = {"reset", "form 130 alone", "reset"};
    struct Case {
        int command;
        int result;
        int runs;
    };
    for (const Case& c : {Case{IDCANCEL, IDCANCEL, 1}, Case{IDOK, IDOK, 2}}) {
        ProgramFolder folder;
        Harness h(folder);
        bool shownBeforeEnd = false;
        QTimer::singleShot(0, [&] {
            shownBeforeEnd = h.dialog->Window()->isVisible();
            h.events.push_back("shown");
            h.Click(c.command);
        });
        EXPECT_EQ(h.dialog->DoModal(), c.result);
        EXPECT_TRUE(shownBeforeEnd);
        std::vector<std::string> expected = once;
        expected.push_back("shown");
        if (c.runs == 2) {
            // Ending through OK: the window is on screen while the sequence runs again.
            expected.insert(expected.end(), {"reset", "form 130 over the shown window", "reset"});
        }
        EXPECT_EQ(h.events, expected) << "command " << c.command;
    }
}

// The form is owned by the main window both times it is shown, so it never
// gets a taskbar entry of its own.
TEST(MainWindowStartTest, ThePrecautionsFormIsOwnedByTheMainWindow)
{
    ProgramFolder folder;
    Harness h(folder);
    std::vector<bool> owned;
    h.host.onModal = [&](framework::CDialog& form) {
        form.Create(false);
        owned.push_back(form.Window()->isWindow() &&
                        form.Window()->parentWidget() == h.dialog->Window());
        form.DestroyWindow();
        return IDCANCEL;
    };
    QTimer::singleShot(0, [&] { h.Click(IDOK); });
    h.dialog->DoModal();
    EXPECT_EQ(owned, (std::vector<bool>{true, true}));
}

// The group box's frame line runs through the middle of its caption, as the
// template's geometry assumes, so the buttons placed just inside sit below it.
TEST(MainWindowTemplateTest, TheGroupFrameRunsThroughItsCaptionAboveTheButtons)
{
    ProgramFolder folder;
    Harness h(folder);
    h.Create();
    QGroupBox* box = nullptr;
    for (QGroupBox* candidate : h.dialog->Window()->findChildren<QGroupBox*>()) {
        if (candidate->isVisibleTo(h.dialog->Window())) box = candidate;
    }
    ASSERT_NE(box, nullptr);
    // The group box's part of the window, in a column clear of the caption
    // and of the buttons inside.
    const QImage image = h.dialog->Window()->grab(box->geometry()).toImage();
    const int x = image.width() - 4;
    const QRgb background = image.pixel(x, image.height() / 2);
    int frameY = 0;
    while (frameY < image.height() && image.pixel(x, frameY) == background) ++frameY;
    EXPECT_LE(std::abs(frameY - QFontMetrics(box->font()).height() / 2), 1) << frameY;
    for (const int button : {kIdDriverQx832, kIdDriverQx864}) {
        EXPECT_LT(box->y() + frameY, h.dialog->GetDlgItem(button)->y()) << button;
    }
}

// A service start shows the firmware-upgrade and APN controls, each in a
// place of its own inside the window; the K305M group stays hidden.
TEST(ServiceWindowTest, ShowsTheHiddenJobsWithoutOverlaps)
{
    ProgramFolder folder;
    Harness h(folder);
    h.seams.service = true;
    h.dialog.emplace(h.settings, h.seams);
    h.Create();
    for (const int id : {kIdPortList, kIdOpenPort, kIdBrowseBoot, kIdBootPath, kIdBrowseUser,
                         kIdUserPath, kIdClearCount, kIdApnName, kIdApn, kIdApnUser, kIdApnPassword,
                         kIdApnNumeric, kIdWriteApn, kIdDriverQx864}) {
        EXPECT_TRUE(h.dialog->IsItemShown(id) && h.Enabled(id)) << id;
    }
    for (const int id : {kIdClosePort, kIdFullUpgrade, kIdUserUpgrade}) {
        EXPECT_TRUE(h.dialog->IsItemShown(id) && !h.Enabled(id)) << id;
    }
    for (const int id : {kIdDriverK305M32, kIdDriverK305M64, IDOK, IDCANCEL}) {
        EXPECT_FALSE(h.dialog->IsItemShown(id)) << id;
    }
    QDialog& window = *h.dialog->Window();
    std::vector<QWidget*> shown;
    for (QWidget* widget : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (widget->isVisibleTo(&window) && qobject_cast<QGroupBox*>(widget) == nullptr) {
            shown.push_back(widget);
        }
    }
    EXPECT_GT(shown.size(), 40u);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_TRUE(window.rect().contains(shown[i]->geometry())) << i;
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                << framework::FromQString(shown[i]->objectName()) << " " << i << " and " << j;
        }
    }
}

// Port opening and closing through the real serial backend on a pseudo-terminal
// that stands behind port number 2.
TEST(PortTest, OpeningSavesTheIndexAndClosingGivesTheButtonsBack)
{
    korvane::testing::Pty pty;
    ProgramFolder folder;
    folder.WriteSysData(0, 0, 0);
    Harness h(folder, true, [&](int number) -> std::string {
        if (number == 2) return pty.SlavePath();
        throw serial::SerialError(serial::SerialErrorKind::NoSuchPort,
                                  "no port " + std::to_string(number));
    });
    h.Create();
    h.PortList().setCurrentIndex(1);
    h.Click(kIdOpenPort);
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].text, "opened 0");  // the index saved before this open
    EXPECT_EQ(h.host.messages[0].caption, "STM32_Korvane");
    EXPECT_EQ(h.host.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(h.dialog->SerialControl().GetPortOpen());
    EXPECT_EQ(folder.ReadSysData().ComIndex(), 1);
    EXPECT_FALSE(h.Enabled(kIdOpenPort));
    EXPECT_TRUE(h.Enabled(kIdClosePort));
    EXPECT_TRUE(h.Enabled(kIdFullUpgrade));
    EXPECT_TRUE(h.Enabled(kIdUserUpgrade));

    h.Click(kIdClosePort);
    ASSERT_EQ(h.host.messages.size(), 2u);
    EXPECT_EQ(h.host.messages[1].text, "closed 1");
    EXPECT_FALSE(h.dialog->SerialControl().GetPortOpen());
    EXPECT_TRUE(h.Enabled(kIdOpenPort));
    EXPECT_FALSE(h.Enabled(kIdClosePort));
    EXPECT_FALSE(h.Enabled(kIdFullUpgrade));
    EXPECT_FALSE(h.Enabled(kIdUserUpgrade));
}

// A device whose close does not take effect: the next open must not reopen it,
// change its settings or save anything. The serial control refuses a new port
// number while a port is open, and that refusal reaches the technician.
class StuckOpenBackend : public serial::SerialBackend {
public:
    explicit StuckOpenBackend(int* discards) : m_discards(discards) {}
    void Open(const std::string&, const serial::LineSettings&, std::size_t, std::size_t) override
    {
        m_open = true;
    }
    void Close() override {}
    bool IsOpen() const override { return m_open; }
    std::size_t BytesWaiting() override { return 0; }
    void Write(std::span<const std::uint8_t>) override {}
    void DiscardOutput() override { ++*m_discards; }
    void DiscardInput() override {}

protected:
    void TakeWaiting(std::vector<std::uint8_t>&, std::size_t) override {}
    void AwaitBytes(std::vector<std::uint8_t>&, std::chrono::nanoseconds,
                    serial::ISleeper&) override
    {
    }

private:
    bool m_open = false;
    int* m_discards;
};

TEST(PortTest, APortThatStaysOpenIsNotReopenedAndTheRefusalIsShown)
{
    ProgramFolder folder;
    folder.WriteSysData(0, 0, 0);
    int discards = 0;
    Harness h(folder, true, [](int) -> std::string { return "/dev/stuck"; });
    h.seams.makeSerialBackend = [&discards] {
        return std::make_unique<StuckOpenBackend>(&discards);
    };
    h.dialog.emplace(h.settings, h.seams);
    h.Create();
    h.PortList().setCurrentIndex(2);
    h.Click(kIdOpenPort);
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].text, "opened 0");
    const auto saved = ReadFile(folder.SysDat());
    EXPECT_EQ(folder.ReadSysData().ComIndex(), 2);

    // Another open: the close of its first step does not take, so nothing changes.
    h.PortList().setCurrentIndex(4);
    h.Click(kIdOpenPort);
    ASSERT_EQ(h.host.messages.size(), 2u);
    EXPECT_NE(
        h.host.messages[1].text.find("cannot be changed while the serial port /dev/stuck is open"),
        std::string::npos)
        << h.host.messages[1].text;
    EXPECT_EQ(h.host.messages[1].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(h.dialog->SerialControl().GetPortOpen());
    EXPECT_EQ(discards, 0);
    EXPECT_EQ(ReadFile(folder.SysDat()), saved);
    EXPECT_FALSE(h.Enabled(kIdOpenPort));
    EXPECT_TRUE(h.Enabled(kIdClosePort));
    EXPECT_TRUE(h.Enabled(kIdFullUpgrade));
}

TEST(PortTest, AFailedOpenShowsTheErrorAndLeavesSettingsAndButtons)
{
    struct Case {
        int selection;  // -1: nothing selected, port number 0
        const char* description;
    };
    for (const Case& c : {Case{2, "there is no serial port 3"}, Case{-1, ""}}) {
        ProgramFolder folder;
        folder.WriteSysData(0, 7, 3);
        const std::string before = ReadFile(folder.SysDat());
        Harness h(folder);
        h.Create();
        h.PortList().setCurrentIndex(c.selection);
        h.Click(kIdOpenPort);
        ASSERT_EQ(h.host.messages.size(), 1u);
        if (*c.description != '\0') {
            EXPECT_EQ(h.host.messages[0].text, c.description);
        }
        EXPECT_FALSE(h.host.messages[0].text.empty());
        EXPECT_EQ(ReadFile(folder.SysDat()), before);
        EXPECT_TRUE(h.Enabled(kIdOpenPort));
        EXPECT_FALSE(h.Enabled(kIdClosePort));
        EXPECT_FALSE(h.Enabled(kIdFullUpgrade));
    }
}

// Real scripts in the program folder: one succeeds, one fails, one is missing.
TEST(DriverTest, TheOutcomeShownIsTheScriptsOwn)
{
    ProgramFolder folder;
    const fs::path marker = folder.Dir() / "ran";
    WriteFile(folder.Dir() / "QX-8 64bit" / "QX-8 64bit.sh",
              "echo ok > '" + marker.string() + "'\nexit 0\n");
    WriteFile(folder.Dir() / "QX-8 32bit" / "QX-8 32bit.sh", "echo 'not root' >&2\nexit 1\n");
    struct Case {
        int id;
        int answer;
        bool installed;
        bool runs;
        std::string reason;  // what the failure message adds when the script did not succeed
    };
    for (const Case& c : {Case{kIdDriverQx864, IDOK, true, true, ""},
                          Case{kIdDriverQx864, IDCANCEL, false, false, ""},
                          Case{kIdDriverQx832, IDOK, false, false, "exit status 1.\n\nnot root"},
                          Case{kIdDriverK305M32, IDOK, false, false, "could not be started"}}) {
        fs::remove(marker);
        Harness h(folder);
        h.Create();
        h.host.messageAnswers = {c.answer};
        h.ClickAndWait(c.id);
        const maintenance::DriverRow& row = *maintenance::FindDriverRow(c.id);
        ASSERT_EQ(h.host.messages.size(), 2u) << c.id;
        EXPECT_EQ(h.host.messages[0].text, row.question);
        EXPECT_EQ(h.host.messages[0].caption, "Prompt");
        EXPECT_EQ(h.host.messages[0].buttons, MessageButtons::OkCancel);
        EXPECT_EQ(h.host.messages[0].icon, MessageIcon::Question);
        const std::string& outcome = h.host.messages[1].text;
        if (c.installed || c.answer != IDOK) {
            EXPECT_EQ(outcome, c.installed ? row.successMessage : row.failureMessage);
        } else {
            // A script that failed or is missing: the failure text, then why.
            EXPECT_EQ(outcome.rfind(std::string(row.failureMessage) + "\n\n", 0), 0u) << outcome;
            EXPECT_NE(outcome.find(c.reason), std::string::npos) << outcome;
        }
        EXPECT_EQ(h.host.messages[1].caption, "Prompt");
        EXPECT_EQ(h.host.messages[1].buttons, MessageButtons::OkCancel);
        EXPECT_EQ(h.host.messages[1].icon, MessageIcon::Information);
        EXPECT_EQ(fs::exists(marker), c.runs) << c.id;
    }
    EXPECT_EQ(maintenance::FindDriverRow(kIdDriverQx864)->successMessage,
              "The QX-8 64 bit Drive has been installed successfully,The drive will take effect "
              "after the intercom is restarted");
}

// A stand-in adb beside the program records what it was given.
TEST(ApnTest, TheCommandIsShownAndAFailingAdbIsReported)
{
    struct Case {
        int exitCode;
        bool reported;
    };
    for (const Case& c : {Case{0, false}, Case{3, true}}) {
        ProgramFolder folder;
        const fs::path adb = folder.Dir() / "adb";
        WriteFile(adb,
                  "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/adb-args\"\n"
                  "echo 'error: no devices/emulators found' >&2\nexit " +
                      std::to_string(c.exitCode) + "\n");
        fs::permissions(adb, fs::perms::owner_all);
        Harness h(folder);
        h.Create();
        h.dialog->SetDlgItemText(kIdApnName, "internet");
        h.dialog->SetDlgItemText(kIdApn, "web");
        h.ClickAndWait(kIdWriteApn);
        const maintenance::ApnFields fields{"internet", "web", "", "", ""};
        EXPECT_EQ(h.Text(kIdApnCommand), maintenance::BuildApnCommand(fields).displayUpToName);
        EXPECT_NE(h.Text(kIdApnCommand).find("--es name 'internet'"), std::string::npos);
        EXPECT_EQ(h.Text(kIdApnCommand).find("web"), std::string::npos);
        EXPECT_NE(ReadFile(folder.Dir() / "adb-args").find("apn\n'web'\n"), std::string::npos);
        ASSERT_EQ(h.host.messages.size(), c.reported ? 1u : 0u);
        if (c.reported) {
            EXPECT_NE(h.host.messages[0].text.find("exit status 3"), std::string::npos);
            EXPECT_NE(h.host.messages[0].text.find("no devices/emulators found"),
                      std::string::npos);
        }
    }
}

// Writes an executable adb beside the program.
void WriteFakeAdb(const ProgramFolder& folder, const std::string& body)
{
    const fs::path adb = folder.Dir() / "adb";
    WriteFile(adb, "#!/bin/sh\n" + body);
    fs::permissions(adb, fs::perms::owner_all);
}

pid_t PidIn(const fs::path& file)
{
    pid_t pid = 0;
    std::ifstream(file) >> pid;
    return pid;
}

// An adb that never returns (no device authorised, a stuck server) is ended
// at its time limit, waited for, and the technician is told what to check.
TEST(ApnTest, AnAdbThatNeverReturnsIsEndedAtItsTimeLimit)
{
    ProgramFolder folder;
    WriteFakeAdb(folder, "echo $$ > \"$(dirname \"$0\")/adb.pid\"\nexec sleep 600\n");
    Harness h(folder);
    h.seams.adbTimeLimit = std::chrono::milliseconds(200);
    h.dialog.emplace(h.settings, h.seams);
    h.Create();
    h.dialog->SetDlgItemText(kIdApnName, "internet");
    h.ClickAndWait(kIdWriteApn);
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_NE(h.host.messages[0].text.find("adb did not finish in time"), std::string::npos)
        << h.host.messages[0].text;
    EXPECT_NE(h.host.messages[0].text.find("adb kill-server"), std::string::npos);
    const pid_t adb = PidIn(folder.Dir() / "adb.pid");
    ASSERT_GT(adb, 0);
    EXPECT_EQ(::kill(adb, 0), -1) << "adb still runs, or was left a zombie";
}

// While adb runs the window is alive but busy: its event loop turns (timers
// fire), it shows a wait cursor and greys its controls, and it refuses every
// command; afterwards all is as before. Closing it during a run ends the run.
TEST(ApnTest, TheWindowStaysAliveButTakesNoCommandWhileAdbRuns)
{
    for (const bool closeDuringTheRun : {false, true}) {
        ProgramFolder folder;
        const fs::path release = folder.Dir() / "release";
        WriteFakeAdb(folder,
                     "echo $$ > \"$(dirname \"$0\")/adb.pid\"\n"
                     "while [ ! -e '" +
                         release.string() + "' ]; do sleep 0.05; done\n");
        Harness h(folder);
        h.Create();
        h.Click(kIdWriteApn);
        ASSERT_TRUE(h.dialog->IsBusy());
        while (!fs::exists(folder.Dir() / "adb.pid")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        bool timerFired = false;
        QTimer::singleShot(0, [&] { timerFired = true; });
        while (!timerFired) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        EXPECT_FALSE(h.dialog->Window()->isEnabled());
        EXPECT_EQ(h.dialog->Window()->cursor().shape(), Qt::WaitCursor);
        EXPECT_TRUE(h.Enabled(kIdDriverQx864)) << "a busy window keeps each control's own state";
        for (const int command : {kIdDriverQx864, kIdWriteApn, IDCANCEL}) h.Click(command);
        EXPECT_TRUE(h.host.messages.empty()) << "a command was taken during the run";
        EXPECT_TRUE(h.dialog->IsBusy());
        if (closeDuringTheRun) {
            h.dialog->DestroyWindow();
            EXPECT_FALSE(h.dialog->IsBusy());
            EXPECT_EQ(::kill(PidIn(folder.Dir() / "adb.pid"), 0), -1) << "adb outlived the window";
            continue;
        }
        WriteFile(release, "");
        while (h.dialog->IsBusy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        EXPECT_TRUE(h.dialog->Window()->isEnabled());
        EXPECT_NE(h.dialog->Window()->cursor().shape(), Qt::WaitCursor);
        EXPECT_TRUE(h.host.messages.empty());  // adb succeeded: nothing to say
    }
}

TEST(BrowseTest, TheLabelShowsTheCrcOrIsEmptied)
{
    ProgramFolder folder;
    const fs::path digits = folder.Dir() / "digits.bin";
    const fs::path empty = folder.Dir() / "empty.bin";
    const fs::path full = folder.Dir() / "full.bin";
    WriteFile(digits, "123456789");
    WriteFile(empty, "");
    WriteFile(full, "");
    fs::resize_file(full, firmware::kImageBufferSize);
    struct Case {
        std::vector<std::string> chosen;
        std::string path;
        std::string label;
    };
    const std::string digitsPath = framework::PathToUtf8(digits);
    const std::string vanished = framework::PathToUtf8(folder.Dir() / "vanished.bin");
    for (const Case& c : {
             Case{{digitsPath, framework::PathToUtf8(empty)}, digitsPath, "CRC32:CBF43926"},
             Case{{framework::PathToUtf8(empty)}, framework::PathToUtf8(empty), "CRC32:00000000"},
             Case{{framework::PathToUtf8(full)}, framework::PathToUtf8(full), "CRC32:9C344EA1"},
             Case{{}, "", ""},
             Case{{vanished}, vanished, ""},
         }) {
        for (const auto& [button, edit, label] :
             {std::tuple{kIdBrowseBoot, kIdBootPath, kIdBootCrc},
              std::tuple{kIdBrowseUser, kIdUserPath, kIdUserCrc}}) {
            Harness h(folder);
            h.Create();
            h.host.fileAnswers = {{digitsPath}, c.chosen};
            h.Click(button);  // a first choice, which the second browse replaces
            h.Click(button);
            const fs::path& member =
                button == kIdBrowseBoot ? h.dialog->BootPath() : h.dialog->UserPath();
            EXPECT_EQ(framework::PathToUtf8(member), c.path);
            EXPECT_EQ(h.Text(edit), c.path);
            EXPECT_EQ(h.Text(label), c.label) << c.path;
            EXPECT_TRUE(h.host.messages.empty());
            ASSERT_EQ(h.host.fileRequests.size(), 2u);
            EXPECT_EQ(h.host.fileRequests[1].filter, "BIN|*.bin||");
            EXPECT_EQ(h.host.fileRequests[1].defaultExtension, "bin");
            EXPECT_TRUE(h.host.fileRequests[1].multiSelect);
        }
    }
}

TEST(BrowseTest, AnImageLargerThanTheBufferIsRefusedWithAMessage)
{
    ProgramFolder folder;
    const fs::path large = folder.Dir() / "large.bin";
    WriteFile(large, "");
    fs::resize_file(large, firmware::kImageBufferSize + 1);
    Harness h(folder);
    h.Create();
    h.host.fileAnswers = {{framework::PathToUtf8(large)}};
    h.Click(kIdBrowseBoot);
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_NE(h.host.messages[0].text.find("large.bin"), std::string::npos);
    EXPECT_NE(h.host.messages[0].text.find("1024000"), std::string::npos);
    EXPECT_TRUE(h.dialog->BootPath().empty());
    EXPECT_EQ(h.Text(kIdBootPath), "");
    EXPECT_EQ(h.Text(kIdBootCrc), "");
}

// A pipe, a device or a folder is refused by what it is, before anything opens
// it: opening a pipe would wait for a writer and freeze the window.
TEST(BrowseTest, AnythingButARegularFileIsRefusedWithoutOpeningIt)
{
    ProgramFolder folder;
    const fs::path fifo = folder.Dir() / "pipe.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Should the browse open the pipe anyway, this writer lets it go on (to a
    // wrong label) instead of hanging; the end of the test releases the writer.
    std::thread writer([&fifo] { ::close(::open(fifo.c_str(), O_WRONLY)); });
    for (const fs::path& chosen : {fifo, fs::path("/dev/zero"), folder.Dir()}) {
        Harness h(folder);
        h.Create();
        h.host.fileAnswers = {{framework::PathToUtf8(chosen)}};
        h.Click(kIdBrowseUser);
        ASSERT_EQ(h.host.messages.size(), 1u) << chosen;
        EXPECT_NE(h.host.messages[0].text.find("not a regular file"), std::string::npos);
        EXPECT_NE(h.host.messages[0].text.find(framework::PathToUtf8(chosen)), std::string::npos);
        EXPECT_TRUE(h.dialog->UserPath().empty());
        EXPECT_EQ(h.Text(kIdUserPath), "");
        EXPECT_EQ(h.Text(kIdUserCrc), "");
    }
    ::close(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
    writer.join();
}

// The dialog's own messages come from Txt.ini in the language Sys.dat names.
TEST(BrowseTest, OwnMessagesComeInTheUsersLanguage)
{
    ProgramFolder folder;
    std::ofstream(folder.Dir() / "Txt.ini", std::ios::app) << "100451=not usable: {0}\n";
    folder.WriteSysData(1, 0, 0);
    Harness h(folder);
    h.Create();
    h.host.fileAnswers = {{"/dev/zero"}};
    h.Click(kIdBrowseBoot);
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].text, "not usable: /dev/zero");
}

// /proc/self/mem opens like any file and fails at the first read.
TEST(BrowseTest, AReadFailureAfterTheOpenIsShownAndTheTextsStay)
{
    ProgramFolder folder;
    const fs::path digits = folder.Dir() / "digits.bin";
    WriteFile(digits, "123456789");
    Harness h(folder);
    h.Create();
    h.host.fileAnswers = {{framework::PathToUtf8(digits)}, {"/proc/self/mem"}};
    h.Click(kIdBrowseBoot);
    h.Click(kIdBrowseBoot);
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_NE(h.host.messages[0].text.find("Cannot read the image '/proc/self/mem'"),
              std::string::npos)
        << h.host.messages[0].text;
    EXPECT_EQ(h.Text(kIdBootPath), framework::PathToUtf8(digits));
    EXPECT_EQ(h.Text(kIdBootCrc), "CRC32:CBF43926");
}

TEST(JobTest, AMissingImageStartsNothing)
{
    for (const int button : {kIdFullUpgrade, kIdUserUpgrade}) {
        ProgramFolder folder;
        Harness h(folder);
        h.Create();
        h.Click(button);
        ASSERT_EQ(h.host.messages.size(), 1u);
        EXPECT_EQ(h.host.messages[0].text, "no image");
        EXPECT_FALSE(h.dialog->HasTimer(CDialog_Korvane::kJobTimerId));
        EXPECT_FALSE(h.dialog->Job().IsRunning());
    }
}

TEST(JobTest, ClearingTheCounterSavesAtOnce)
{
    ProgramFolder folder;
    folder.WriteSysData(0, 2, 17);
    Harness h(folder);
    h.Create();
    EXPECT_EQ(h.Text(kIdCounter), "count 17");
    h.Click(kIdClearCount);
    EXPECT_EQ(h.Text(kIdCounter), "count 0");
    EXPECT_EQ(folder.ReadSysData().UpgradeCount(), 0);
    EXPECT_EQ(folder.ReadSysData().ComIndex(), 2);
}

// Runs the event loop (and so the job timer) until `done` or `limit` passes.
bool RunUntil(const std::function<bool()>& done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// A port opened on the simulated radio, both images chosen through the browse buttons.
struct RadioBench {
    explicit RadioBench(sim::SimOptions options, std::uint8_t language = 0,
                        firmware::Pacing pacing = firmware::Pacing::Exact)
        : radio(std::move(options))
    {
        folder.WriteSysData(language, 0, 5);
        for (std::size_t i = 0; i < boot.size(); ++i) boot[i] = static_cast<char>(i * 7);
        for (std::size_t i = 0; i < user.size(); ++i) user[i] = static_cast<char>(i * 13 + 1);
        WriteFile(folder.Dir() / "boot.bin", boot);
        WriteFile(folder.Dir() / "user.bin", user);
        h.emplace(
            folder, true,
            [this](int number) -> std::string {
                if (number == 1) return radio.SlavePath();
                throw serial::SerialError(serial::SerialErrorKind::NoSuchPort, "no port");
            },
            pacing);
        h->Create();
        h->host.fileAnswers = {{framework::PathToUtf8(folder.Dir() / "boot.bin")},
                               {framework::PathToUtf8(folder.Dir() / "user.bin")}};
        h->Click(kIdBrowseBoot);
        h->Click(kIdBrowseUser);
        h->Click(kIdOpenPort);
        h->host.messages.clear();
    }

    ProgramFolder folder;
    sim::PtyRadio radio;
    std::string boot = std::string(600, '\0');
    std::string user = std::string(5000, '\0');
    std::optional<Harness> h;
};

TEST(JobTest, AFullUpgradeOnTheSimulatedRadioIsFollowedOnTheTimer)
{
    RadioBench bench{sim::SimOptions{}};
    Harness& h = *bench.h;
    ASSERT_TRUE(h.dialog->SerialControl().GetPortOpen());
    h.Click(kIdFullUpgrade);
    EXPECT_FALSE(h.Enabled(kIdFullUpgrade));
    EXPECT_FALSE(h.Enabled(kIdUserUpgrade));
    EXPECT_TRUE(h.dialog->HasTimer(CDialog_Korvane::kJobTimerId));
    const auto* bar = static_cast<const QProgressBar*>(h.dialog->GetDlgItem(kIdProgress));
    EXPECT_EQ(bar->maximum(), firmware::kProgressMax);

    std::vector<std::string> statusLines;
    ASSERT_TRUE(RunUntil(
        [&] {
            const std::string line = h.Text(kIdStatus);
            if (statusLines.empty() || statusLines.back() != line) statusLines.push_back(line);
            return h.Enabled(kIdFullUpgrade);
        },
        60'000))
        << "the start buttons did not come back";
    EXPECT_TRUE(h.Enabled(kIdUserUpgrade));
    EXPECT_EQ(h.dialog->Job().Snapshot().workerState, firmware::WorkerState::Finished);
    EXPECT_EQ(h.Text(kIdStatus), "用户程序下载完成！");
    EXPECT_EQ(bar->value(), firmware::kProgressMax);
    EXPECT_EQ(h.Text(kIdCounter), "count 6");
    EXPECT_EQ(bench.folder.ReadSysData().UpgradeCount(), 6);
    EXPECT_GE(statusLines.size(), 2u);  // the line followed the job, not only its end
    const sim::SimResults results = bench.radio.Results();
    EXPECT_EQ(std::string(results.flash.begin(), results.flash.end()), bench.boot);
    ASSERT_GE(results.program.size(), bench.user.size());
    EXPECT_EQ(std::string(results.program.begin(), results.program.begin() + bench.user.size()),
              bench.user);
    EXPECT_TRUE(h.host.messages.empty());
}

// A global erase that takes 300 ms: far past the fixed polls' window, well
// inside the patient ceiling. The service window's pacing decides the outcome.
TEST(JobTest, ThePacingOfTheWindowDecidesWhetherASlowEraseCompletes)
{
    struct Case {
        firmware::Pacing pacing;
        firmware::WorkerState end;
        std::int32_t counter;
    };
    for (const Case& c : {Case{firmware::Pacing::Exact, firmware::WorkerState::Failed, 5},
                          Case{firmware::Pacing::Patient, firmware::WorkerState::Finished, 6}}) {
        SCOPED_TRACE(firmware::PacingName(c.pacing));
        sim::SimOptions options;
        options.eraseDuration = std::chrono::milliseconds(300);
        RadioBench bench{options, 0, c.pacing};
        Harness& h = *bench.h;
        h.Click(kIdFullUpgrade);
        const auto ended = [&] {
            const firmware::WorkerState state = h.dialog->Job().Snapshot().workerState;
            return state == firmware::WorkerState::Failed ||
                   state == firmware::WorkerState::Finished;
        };
        ASSERT_TRUE(RunUntil(ended, 60'000));
        EXPECT_EQ(h.dialog->Job().Snapshot().workerState, c.end);
        EXPECT_EQ(bench.folder.ReadSysData().UpgradeCount(), c.counter);
    }
}

TEST(JobTest, AFailedJobGivesTheButtonsBackOnlyWhileThePortIsOpen)
{
    for (const bool closeFirst : {false, true}) {
        sim::SimOptions options;
        options.faults.push_back({sim::SimStep::Solicit, sim::FaultAction::Nack, 0, 1000});
        options.startInLoader = true;
        RadioBench bench{options, 1};
        Harness& h = *bench.h;
        h.Click(kIdUserUpgrade);
        ASSERT_TRUE(RunUntil(
            [&] { return h.dialog->Job().Snapshot().workerState == firmware::WorkerState::Failed; },
            60'000));
        if (closeFirst) h.Click(kIdClosePort);
        RunUntil([&] { return h.Text(kIdStatus) == "Error！"; }, 2000);
        RunUntil([] { return false; }, 700);  // at least one more tick
        EXPECT_EQ(h.Text(kIdStatus), "Error！");
        EXPECT_EQ(h.Enabled(kIdFullUpgrade), !closeFirst);
        EXPECT_EQ(h.Enabled(kIdUserUpgrade), !closeFirst);
        EXPECT_EQ(bench.folder.ReadSysData().UpgradeCount(), 5);
    }
}

TEST(JobTest, ClosingTheWindowDuringAJobStopsTheWorker)
{
    sim::SimOptions options;
    options.faults.push_back({sim::SimStep::Sync, sim::FaultAction::Silence, 0, 1000});
    RadioBench bench{options};
    Harness& h = *bench.h;
    h.Click(kIdFullUpgrade);
    RunUntil([] { return false; }, 200);
    ASSERT_TRUE(h.dialog->Job().IsRunning());
    QElapsedTimer clock;
    clock.start();
    h.dialog->DestroyWindow();
    EXPECT_FALSE(h.dialog->Job().IsRunning());
    EXPECT_LT(clock.elapsed(), 1000);
}

}  // namespace
}  // namespace korvane::ui
