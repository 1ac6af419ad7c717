// The dialog framework: template to widgets, dialog units, the message table,
// the handler guard, timers, the modal run's endings and the file-open dialog.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "error/Error.h"
#include "framework/CDialog.h"
#include "framework/CFileDialog.h"
#include "tests/ui/ScriptedHost.h"

namespace korvane::framework {
namespace {

using testing::ScriptedHost;

constexpr int kIdAction = 100;
constexpr int kIdThrowsKorvane = 101;
constexpr int kIdThrowsStd = 102;
constexpr int kIdLabel = 103;

DialogTemplate SampleTemplate()
{
    DialogTemplate t;
    t.id = 7;
    t.title = "Sample";
    t.width = 200;
    t.height = 100;
    t.fontFamily = "WenQuanYi Micro Hei";
    t.pointSize = 9;
    t.controls = {
        {kIdAction, ControlKind::PushButton, "Act", true, true, 10, 10, 50, 14, true},
        {kIdThrowsKorvane, ControlKind::PushButton, "K", true, true, 70, 10, 50, 14, true},
        {kIdThrowsStd, ControlKind::PushButton, "S", false, false, 130, 10, 50, 14, true},
        {kIdLabel, ControlKind::TextRight, "标签", true, true, 12, 40, 64, 8, false},
        {IDOK, ControlKind::DefPushButton, "OK", false, true, 10, 80, 50, 14, true},
        {IDCANCEL, ControlKind::PushButton, "Cancel", false, true, 70, 80, 50, 14, true},
    };
    return t;
}

class SampleDialog : public CDialog {
public:
    explicit SampleDialog(ModalHost* host) : CDialog(SampleTemplate(), host) {}

    void OnAction() { ++actions; }
    void OnThrowKorvane()
    {
        throw korvane::FileError("cannot read /tmp/x: No such file", "Choose another file.");
    }
    void OnThrowStd() { throw std::runtime_error("plain failure"); }
    void OnTimer(std::uintptr_t id) { timerIds.push_back(id); }

    int actions = 0;
    int exchanges = 0;
    std::vector<std::uintptr_t> timerIds;

protected:
    void DoDataExchange(CDataExchange*) override { ++exchanges; }
    const MessageMap& GetMessageMap() const override
    {
        static const MessageMap map = {
            OnClicked(kIdAction, &SampleDialog::OnAction),
            OnClicked(kIdThrowsKorvane, &SampleDialog::OnThrowKorvane),
            OnClicked(kIdThrowsStd, &SampleDialog::OnThrowStd),
            OnTimerMessage(&SampleDialog::OnTimer),
        };
        return map;
    }
};

TEST(DialogTemplateTest, ControlsArePlacedInDialogUnitsOfTheFont)
{
    ScriptedHost host;
    SampleDialog dialog(&host);
    dialog.Create(false);
    const DialogBaseUnits units = dialog.BaseUnits();
    ASSERT_GT(units.averageWidth, 0);
    ASSERT_GT(units.height, 0);
    const QWidget* label = dialog.GetDlgItem(kIdLabel);
    EXPECT_EQ(label->x(), (12 * units.averageWidth + 2) / 4);
    EXPECT_EQ(label->y(), (40 * units.height + 4) / 8);
    EXPECT_EQ(label->width(), (64 * units.averageWidth + 2) / 4);
    EXPECT_EQ(dialog.Window()->width(), (200 * units.averageWidth + 2) / 4);
    EXPECT_EQ(dialog.GetDlgItemText(kIdLabel), "标签");
    EXPECT_TRUE(static_cast<const QLabel*>(label)->alignment() & Qt::AlignRight);
    EXPECT_EQ(dialog.GetWindowText(), "Sample");
}

TEST(DialogTemplateTest, StatesAndTabStopsFollowTheTable)
{
    ScriptedHost host;
    SampleDialog dialog(&host);
    dialog.Create(false);
    EXPECT_TRUE(dialog.IsItemShown(kIdAction));
    EXPECT_FALSE(dialog.IsItemShown(kIdThrowsStd));
    EXPECT_FALSE(dialog.IsItemEnabled(kIdThrowsStd));
    EXPECT_EQ(dialog.GetDlgItem(kIdAction)->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(dialog.GetDlgItem(kIdLabel)->focusPolicy(), Qt::NoFocus);
    dialog.EnableItem(kIdThrowsStd, true);
    dialog.ShowItem(kIdThrowsStd, true);
    EXPECT_TRUE(dialog.IsItemEnabled(kIdThrowsStd));
    EXPECT_TRUE(dialog.IsItemShown(kIdThrowsStd));
    EXPECT_THROW(dialog.GetDlgItem(4242), std::logic_error);
}

TEST(MessageTableTest, ClicksReachTheirHandlers)
{
    ScriptedHost host;
    SampleDialog dialog(&host);
    dialog.Create(false);
    static_cast<QPushButton*>(dialog.GetDlgItem(kIdAction))->click();
    dialog.DispatchCommand(kIdAction);
    EXPECT_EQ(dialog.actions, 2);
    EXPECT_TRUE(host.messages.empty());
}

TEST(MessageTableTest, AnErrorLeavingAHandlerIsShownAndTheProgramGoesOn)
{
    struct Case {
        int id;
        const char* description;
    };
    for (const Case& c :
         {Case{kIdThrowsKorvane, "cannot read /tmp/x: No such file\n\nChoose another file."},
          Case{kIdThrowsStd, "plain failure"}}) {
        ScriptedHost host;
        SampleDialog dialog(&host);
        dialog.Create(false);
        dialog.DispatchCommand(c.id);
        ASSERT_EQ(host.messages.size(), 1u) << c.description;
        EXPECT_EQ(host.messages[0].text, c.description);
        EXPECT_EQ(host.messages[0].caption, "STM32_Korvane");
        EXPECT_EQ(host.messages[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(host.messages[0].icon, MessageIcon::Exclamation);
        dialog.DispatchCommand(kIdAction);
        EXPECT_EQ(dialog.actions, 1);
    }
}

TEST(TimerTest, ATimerDeliversItsIdAndARestartReplacesIt)
{
    ScriptedHost host;
    SampleDialog dialog(&host);
    dialog.Create(false);
    dialog.SetTimer(5, 10'000);
    dialog.SetTimer(5, 5);  // replaces the slow one
    dialog.SetTimer(9, 10'000);
    QElapsedTimer clock;
    clock.start();
    while (dialog.timerIds.size() < 2 && clock.elapsed() < 5000) QApplication::processEvents();
    ASSERT_GE(dialog.timerIds.size(), 2u);
    EXPECT_EQ(dialog.timerIds[0], 5u);
    EXPECT_EQ(dialog.timerIds[1], 5u);
    dialog.KillTimer(5);
    EXPECT_FALSE(dialog.HasTimer(5));
    EXPECT_TRUE(dialog.HasTimer(9));
    const std::size_t seen = dialog.timerIds.size();
    clock.restart();
    while (clock.elapsed() < 50) QApplication::processEvents();
    EXPECT_EQ(dialog.timerIds.size(), seen);
}

// Ends a modal run from inside it, as a person would.
enum class Ending { Escape, Enter, CloseBox, OkCommand, CancelCommand };

void EndFromInside(CDialog& dialog, Ending ending)
{
    QTimer::singleShot(0, [&dialog, ending] {
        QDialog* window = dialog.Window();
        switch (ending) {
            case Ending::Escape: {
                QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(window, &key);
                break;
            }
            case Ending::Enter: {
                window->setFocus();
                QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QApplication::sendEvent(window, &key);
                break;
            }
            case Ending::CloseBox:
                window->close();
                break;
            case Ending::OkCommand:
                dialog.DispatchCommand(IDOK);
                break;
            case Ending::CancelCommand:
                dialog.DispatchCommand(IDCANCEL);
                break;
        }
    });
}

TEST(ModalRunTest, OkExchangesOnceMoreAndTheOtherEndingsDoNot)
{
    struct Case {
        Ending ending;
        int result;
        int exchanges;
    };
    for (const Case& c : {Case{Ending::Escape, IDCANCEL, 1}, Case{Ending::CloseBox, IDCANCEL, 1},
                          Case{Ending::CancelCommand, IDCANCEL, 1},
                          Case{Ending::OkCommand, IDOK, 2}, Case{Ending::Enter, IDOK, 2}}) {
        ScriptedHost host;
        SampleDialog dialog(&host);
        EndFromInside(dialog, c.ending);
        EXPECT_EQ(dialog.DoModal(), c.result) << static_cast<int>(c.ending);
        EXPECT_EQ(dialog.exchanges, c.exchanges) << static_cast<int>(c.ending);
        EXPECT_EQ(dialog.Window(), nullptr);
    }
}

TEST(ModalRunTest, EnterOnAFocusedButtonClicksIt)
{
    ScriptedHost host;
    SampleDialog dialog(&host);
    dialog.Create(true);
    dialog.GetDlgItem(kIdAction)->setFocus();
    QApplication::processEvents();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog.Window(), &key);
    EXPECT_EQ(dialog.actions, 1);
    EXPECT_EQ(dialog.exchanges, 1);  // not taken as OK
}

TEST(FileDialogTest, FiltersAreConvertedToQtForm)
{
    struct Case {
        const char* windows;
        const char* qt;
    };
    for (const Case& c : {
             Case{"BIN files (*.bin)|*.bin|All files (*.*)|*.*||",
                  "BIN files (*.bin);;All files (*.*)"},
             Case{"Images|*.bin;*.hex||", "Images (*.bin *.hex)"},
             Case{"固件|*.bin||", "固件 (*.bin)"},
             Case{"", "All files (*)"},
         }) {
        EXPECT_EQ(ConvertFileFilter(c.windows), c.qt) << c.windows;
    }
}

TEST(FileDialogTest, TheFirstOfSeveralFilesIsTakenAndCancelGivesNothing)
{
    ScriptedHost host;
    host.fileAnswers = {{"/tmp/a.bin", "/tmp/b.bin"}, {}};
    CFileDialog dialog(host, "bin", "*.bin", true, "BIN|*.bin||");
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetPathName(), "/tmp/a.bin");
    ASSERT_EQ(host.fileRequests.size(), 1u);
    EXPECT_EQ(host.fileRequests[0].defaultExtension, "bin");
    EXPECT_EQ(host.fileRequests[0].initialName, "*.bin");
    EXPECT_TRUE(host.fileRequests[0].multiSelect);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.GetPathName(), "");
}

}  // namespace
}  // namespace korvane::framework
