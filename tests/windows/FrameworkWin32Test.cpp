// The dialog framework on its Win32 backend: every control of the program's
// templates as Windows reads it back after creation (order, id, class, style,
// text, rectangle in dialog units), the dialog font's base units, the message
// table, the handler guard, timers, the modal run's endings, and the file-open
// dialog's filter as the common dialog shows it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/TextEncoding.h"
#include "framework/CDialog.h"
#include "framework/CFileDialog.h"
#include "framework/Win32Dialog.h"
#include "ui/Templates.h"

// After our headers: it takes back macros that would rename their names.
#include "framework/Win32Api.h"

namespace korvane::framework {
namespace {

// Answers message boxes from a script and records them; runs nested dialogs for real.
class ScriptedHost : public ModalHost {
public:
    struct Message {
        std::string text, caption;
        MessageButtons buttons;
        MessageIcon icon;
    };
    int ShowMessage(NativeWidget, const std::string& text, const std::string& caption,
                    MessageButtons buttons, MessageIcon icon) override
    {
        messages.push_back({text, caption, buttons, icon});
        return IDOK;
    }
    std::vector<std::string> GetOpenFileNames(const FileOpenRequest&) override { return {}; }
    int RunModal(CDialog& dialog) override { return dialog.DoModal(); }
    std::vector<Message> messages;
};

std::string ClassOf(HWND window)
{
    std::wstring name(256, L'\0');
    name.resize(static_cast<std::size_t>(::GetClassNameW(window, name.data(), 256)));
    return base::WideToUtf8(name);
}

std::string TextOf(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return base::WideToUtf8(text);
}

// A window's rectangle in the dialog's client coordinates.
RECT PlaceIn(HWND dialog, HWND control)
{
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Where the dialog manager puts a rectangle given in dialog units: it converts
// the position and the size each on its own, as MapDialogRect converts each field.
RECT ToPixels(HWND dialog, int x, int y, int width, int height)
{
    RECT rect{x, y, width, height};
    ::MapDialogRect(dialog, &rect);
    return RECT{rect.left, rect.top, rect.left + rect.right, rect.top + rect.bottom};
}

// The class Windows must report for each kind: the predefined classes and the
// common control's registered name, whatever the template wrote.
const char* ExpectedClass(ControlKind kind)
{
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
        case ControlKind::GroupBox:
            return "Button";
        case ControlKind::Edit:
            return "Edit";
        case ControlKind::DropDownList:
            return "ComboBox";
        case ControlKind::ProgressBar:
            return "msctls_progress32";
        default:
            return "Static";
    }
}

TEST(Win32TemplateTest, EveryControlReadsBackAsTheTableGaveIt)
{
    // The pictures show their bitmaps at the bitmaps' own pixel sizes.
    const std::map<int, SIZE> kPictureSizes = {{1046, {315, 199}}, {1044, {500, 266}}};
    for (const DialogTemplate* t : {&ui::MainWindowTemplate(), &ui::PrecautionsTemplate()}) {
        SCOPED_TRACE("template " + std::to_string(t->id));
        ScriptedHost host;
        CDialog dialog(*t, &host);
        dialog.Create(false);
        const HWND window = dialog.Window();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(TextOf(window), t->title);
        RECT client{};
        ::GetClientRect(window, &client);
        const RECT expectedClient = ToPixels(window, 0, 0, t->width, t->height);
        EXPECT_EQ(client.right, expectedClient.right);
        EXPECT_EQ(client.bottom, expectedClient.bottom);
        const LONG style = ::GetWindowLongW(window, GWL_STYLE);
        EXPECT_TRUE(style & WS_CAPTION);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_EQ((style & WS_THICKFRAME) != 0, t->sizingBorder);

        // The children in z-order are the table's rows in order.
        std::size_t row = 0;
        for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT), ++row) {
            ASSERT_LT(row, t->controls.size());
            const ControlTemplate& c = t->controls[row];
            SCOPED_TRACE("row " + std::to_string(row) + ", id " + std::to_string(c.id));
            EXPECT_EQ(::GetDlgCtrlID(child), c.id);
            EXPECT_EQ(ClassOf(child), ExpectedClass(c.kind));
            const auto childStyle = static_cast<DWORD>(::GetWindowLongW(child, GWL_STYLE));
            EXPECT_EQ((childStyle & WS_VISIBLE) != 0, c.shown);
            EXPECT_EQ((childStyle & WS_DISABLED) != 0, !c.enabled);
            EXPECT_EQ((childStyle & WS_TABSTOP) != 0, c.tabStop);
            // The kind's own bits; the dialog manager trades WS_BORDER for a
            // client edge and keeps a list's scroll bar to itself.
            const DWORD kindStyle = ControlClassOf(c.kind).kindStyle & 0xFFFF;
            EXPECT_EQ(childStyle & 0xFFFF, kindStyle);
            if (c.kind == ControlKind::DefPushButton) {
                EXPECT_EQ(childStyle & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
            }

            const RECT place = PlaceIn(window, child);
            const RECT expected = ToPixels(window, c.x, c.y, c.width, c.height);
            EXPECT_EQ(place.left, expected.left);
            EXPECT_EQ(place.top, expected.top);
            if (c.kind == ControlKind::Picture) {
                const SIZE size = kPictureSizes.at(c.id);
                EXPECT_EQ(place.right - place.left, size.cx);
                EXPECT_EQ(place.bottom - place.top, size.cy);
                EXPECT_NE(::SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
            } else {
                EXPECT_EQ(place.right, expected.right);
                // A drop-down list's template height is that of its open list.
                if (c.kind != ControlKind::DropDownList) {
                    EXPECT_EQ(place.bottom, expected.bottom);
                }
                if (c.kind != ControlKind::DropDownList && c.kind != ControlKind::ProgressBar) {
                    EXPECT_EQ(TextOf(child), c.caption);  // Chinese captions included
                }
            }
        }
        EXPECT_EQ(row, t->controls.size());
    }
}

TEST(Win32TemplateTest, BaseUnitsMeasuredOnTheDialogFontMatchTheDialogManagers)
{
    for (const DialogTemplate* t : {&ui::MainWindowTemplate(), &ui::PrecautionsTemplate()}) {
        ScriptedHost host;
        CDialog dialog(*t, &host);
        dialog.Create(false);
        const auto font =
            reinterpret_cast<HFONT>(::SendMessageW(dialog.Window(), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        const DialogBaseUnits measured = MeasureDialogBaseUnits(font);
        EXPECT_EQ(measured.averageWidth, dialog.BaseUnits().averageWidth) << t->pointSize;
        EXPECT_EQ(measured.height, dialog.BaseUnits().height) << t->pointSize;
        EXPECT_GT(dialog.BaseUnits().averageWidth, 0);
    }
}

TEST(Win32TemplateTest, PictureCaptionsNameTheirBitmapResources)
{
    struct Case {
        const char* caption;
        std::uint16_t resource;
    };
    for (const Case& c :
         {Case{":/bitmaps/131.bmp", 131}, Case{":/bitmaps/1044.bmp", 1044}, Case{"1044", 1044},
          Case{":/bitmaps/picture.bmp", 0}, Case{":/bitmaps/99999.bmp", 0}, Case{"", 0}}) {
        EXPECT_EQ(PictureResourceOf(c.caption), c.resource) << c.caption;
    }
}

constexpr int kIdAction = 100;
constexpr int kIdThrows = 101;
constexpr int kIdLabel = 102;

DialogTemplate SampleTemplate()
{
    DialogTemplate t;
    t.id = 7;
    t.title = "Sample 样例";
    t.width = 200;
    t.height = 100;
    t.fontFamily = "MS Shell Dlg";
    t.pointSize = 9;
    t.controls = {
        {kIdAction, ControlKind::PushButton, "Act", true, true, 10, 10, 50, 14, true},
        {kIdThrows, ControlKind::PushButton, "Throw", true, true, 70, 10, 50, 14, true},
        {kIdLabel, ControlKind::TextLeft, "标签", true, true, 12, 40, 64, 8, false},
        {IDOK, ControlKind::DefPushButton, "OK", false, true, 10, 80, 50, 14, true},
        {IDCANCEL, ControlKind::PushButton, "Cancel", false, true, 70, 80, 50, 14, true},
    };
    return t;
}

class SampleDialog : public CDialog {
public:
    explicit SampleDialog(ModalHost* host) : CDialog(SampleTemplate(), host) {}
    void OnAction() { ++actions; }
    void OnThrow() { throw std::runtime_error("cannot read Z:\\x.bin"); }
    void OnTimer(std::uintptr_t id) { timerIds.push_back(id); }

    int actions = 0;
    int exchanges = 0;
    int cancels = 0;
    std::vector<std::uintptr_t> timerIds;
    std::function<void(SampleDialog&)> onInit;

protected:
    bool OnInitDialog() override
    {
        const bool result = CDialog::OnInitDialog();
        if (onInit) onInit(*this);
        return result;
    }
    void DoDataExchange(CDataExchange*) override { ++exchanges; }
    void OnCancel() override
    {
        ++cancels;
        CDialog::OnCancel();
    }
    const MessageMap& GetMessageMap() const override
    {
        static const MessageMap map = {
            OnClicked(kIdAction, &SampleDialog::OnAction),
            OnClicked(kIdThrows, &SampleDialog::OnThrow),
            OnTimerMessage(&SampleDialog::OnTimer),
        };
        return map;
    }
};

// Runs the thread's messages until `done` or until `limit` messages have been
// handled; a limit, not a clock, bounds the wait.
void PumpUntil(const std::function<bool()>& done, int limit = 100000)
{
    MSG message{};
    for (int i = 0; i < limit && !done(); ++i) {
        if (::GetMessageW(&message, nullptr, 0, 0) <= 0) return;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

TEST(Win32MessageTableTest, ClicksReachTheirHandlersAndAnErrorIsShownAndTheProgramGoesOn)
{
    ScriptedHost host;
    SampleDialog dialog(&host);
    dialog.Create(true);
    ::SendMessageW(dialog.GetDlgItem(kIdAction), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.actions, 1);
    EXPECT_TRUE(host.messages.empty());

    ::SendMessageW(dialog.GetDlgItem(kIdThrows), BM_CLICK, 0, 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "cannot read Z:\\x.bin");
    EXPECT_EQ(host.messages[0].caption, ApplicationName());
    EXPECT_EQ(host.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Exclamation);
    ::SendMessageW(dialog.GetDlgItem(kIdAction), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.actions, 2);

    // Text crosses as UTF-16 both ways.
    dialog.SetDlgItemText(kIdLabel, "状态：就绪");
    EXPECT_EQ(TextOf(dialog.GetDlgItem(kIdLabel)), "状态：就绪");
    EXPECT_EQ(dialog.GetWindowText(), "Sample 样例");
}

TEST(Win32TimerTest, ATimerDeliversItsIdAndARestartReplacesIt)
{
    ScriptedHost host;
    SampleDialog dialog(&host);
    dialog.Create(false);
    dialog.SetTimer(5, 60'000);
    dialog.SetTimer(5, 1);  // replaces the slow one
    dialog.SetTimer(9, 60'000);
    PumpUntil([&] { return dialog.timerIds.size() >= 2; });
    ASSERT_GE(dialog.timerIds.size(), 2u);
    EXPECT_EQ(dialog.timerIds[0], 5u);
    EXPECT_EQ(dialog.timerIds[1], 5u);
    dialog.KillTimer(5);
    EXPECT_FALSE(dialog.HasTimer(5));
    EXPECT_TRUE(dialog.HasTimer(9));
    dialog.DestroyWindow();
    EXPECT_FALSE(dialog.HasTimer(9));
}

// A background run: meanwhile the controls are greyed but keep their own states
// (EnableItem during the run takes effect after it), and clicks and the close box
// are refused; then `done` runs on the window's thread, or the work's error is
// shown instead; a window that goes during the run stops it and waits for it.
TEST(Win32BackgroundRunTest, TheWindowRefusesCommandsUntilTheRunEndsOnItsThread)
{
    enum class End { Returns, Throws, WindowGoes };
    for (const End end : {End::Returns, End::Throws, End::WindowGoes}) {
        SCOPED_TRACE(static_cast<int>(end));
        ScriptedHost host;
        SampleDialog dialog(&host);
        dialog.Create(true);
        dialog.EnableItem(kIdThrows, false);
        std::atomic<bool> release{false};
        std::atomic<bool> stopSeen{false};
        DWORD doneThread = 0;
        dialog.RunInBackground(
            [&](const std::atomic<bool>& stop) {
                while (!release && !stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                stopSeen = stop.load();
                if (end == End::Throws) throw std::runtime_error("adb is missing");
            },
            [&] { doneThread = ::GetCurrentThreadId(); });
        ASSERT_TRUE(dialog.IsBusy());
        EXPECT_THROW(dialog.RunInBackground([](const std::atomic<bool>&) {}, [] {}),
                     std::logic_error);
        EXPECT_FALSE(::IsWindowEnabled(dialog.GetDlgItem(kIdAction)));
        EXPECT_TRUE(dialog.IsItemEnabled(kIdAction));
        dialog.EnableItem(kIdThrows, true);
        EXPECT_FALSE(::IsWindowEnabled(dialog.GetDlgItem(kIdThrows)));
        EXPECT_TRUE(dialog.IsItemEnabled(kIdThrows));
        ::SendMessageW(dialog.Window(), WM_COMMAND, MAKEWPARAM(kIdAction, BN_CLICKED), 0);
        ::SendMessageW(dialog.Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(dialog.actions, 0);
        EXPECT_EQ(dialog.cancels, 0);

        if (end == End::WindowGoes) {
            dialog.DestroyWindow();
            EXPECT_TRUE(stopSeen);
            EXPECT_FALSE(dialog.IsBusy());
            EXPECT_EQ(doneThread, 0u);
            continue;
        }
        release = true;
        PumpUntil([&] { return !dialog.IsBusy(); });
        ASSERT_FALSE(dialog.IsBusy());
        EXPECT_FALSE(stopSeen);
        EXPECT_TRUE(::IsWindowEnabled(dialog.GetDlgItem(kIdAction)));
        EXPECT_TRUE(::IsWindowEnabled(dialog.GetDlgItem(kIdThrows)));
        if (end == End::Returns) {
            EXPECT_EQ(doneThread, ::GetCurrentThreadId());
            EXPECT_TRUE(host.messages.empty());
        } else {
            EXPECT_EQ(doneThread, 0u);
            ASSERT_EQ(host.messages.size(), 1u);
            EXPECT_EQ(host.messages[0].text, "adb is missing");
        }
        ::SendMessageW(dialog.Window(), WM_COMMAND, MAKEWPARAM(kIdAction, BN_CLICKED), 0);
        EXPECT_EQ(dialog.actions, 1);
    }
}

// Ends a modal run from inside it, as a person would: keys go to the control
// with the focus, the close box is WM_CLOSE. It acts from a thread timer, so
// inside the modal loop, with the window shown.
enum class Ending { Escape, Enter, CloseBox, EnterOnFocusedButton };

SampleDialog* s_endingDialog = nullptr;
Ending s_ending = Ending::Escape;

void CALLBACK EndFromInside(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    SampleDialog& dialog = *s_endingDialog;
    const HWND window = dialog.Window();
    switch (s_ending) {
        case Ending::Escape:
            ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
            break;
        case Ending::Enter:
            ::SetFocus(dialog.GetDlgItem(kIdLabel));  // a text: no push button has the focus
            ::PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
            break;
        case Ending::CloseBox:
            ::PostMessageW(window, WM_CLOSE, 0, 0);
            break;
        case Ending::EnterOnFocusedButton:
            ::SendMessageW(window, WM_NEXTDLGCTL,
                           reinterpret_cast<WPARAM>(dialog.GetDlgItem(kIdAction)), TRUE);
            ::PostMessageW(dialog.GetDlgItem(kIdAction), WM_KEYDOWN, VK_RETURN, 0);
            ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);  // then leave
            break;
    }
}

TEST(Win32ModalRunTest, EscapeEnterAndTheCloseBoxEndTheRunAsOnWindows)
{
    struct Case {
        Ending ending;
        int result;
        int exchanges;
        int actions;
    };
    for (const Case& c :
         {Case{Ending::Escape, IDCANCEL, 1, 0}, Case{Ending::CloseBox, IDCANCEL, 1, 0},
          Case{Ending::Enter, IDOK, 2, 0}, Case{Ending::EnterOnFocusedButton, IDCANCEL, 1, 1}}) {
        SCOPED_TRACE(static_cast<int>(c.ending));
        ScriptedHost host;
        SampleDialog dialog(&host);
        s_endingDialog = &dialog;
        s_ending = c.ending;
        dialog.onInit = [](SampleDialog& d) {
            if (d.exchanges == 1) ::SetTimer(nullptr, 0, 1, &EndFromInside);
        };
        EXPECT_EQ(dialog.DoModal(), c.result);
        EXPECT_EQ(dialog.exchanges, c.exchanges);
        EXPECT_EQ(dialog.actions, c.actions);
        EXPECT_EQ(dialog.Window(), nullptr);
    }
}

HWND s_innerWindow = nullptr;
HWND s_outerWindow = nullptr;
bool s_outerDisabledDuringInnerRun = false;

void CALLBACK LookAndCloseInner(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    s_outerDisabledDuringInnerRun = !::IsWindowEnabled(s_outerWindow);
    ::PostMessageW(s_innerWindow, WM_CLOSE, 0, 0);
}

TEST(Win32ModalRunTest, ANestedRunIsOwnedByTheOuterDialogWhichIsDisabledMeanwhile)
{
    ScriptedHost host;
    SampleDialog outer(&host);
    SampleDialog inner(&host);
    HWND innerOwner = nullptr;
    inner.onInit = [&](SampleDialog& d) {
        innerOwner = ::GetWindow(d.Window(), GW_OWNER);
        s_innerWindow = d.Window();
        s_outerWindow = outer.Window();
        ::SetTimer(nullptr, 0, 1, &LookAndCloseInner);
    };
    bool outerEnabledAfter = false;
    outer.onInit = [&](SampleDialog& d) {
        EXPECT_EQ(host.RunModal(inner), IDCANCEL);
        outerEnabledAfter = ::IsWindowEnabled(d.Window()) != FALSE;
        d.EndDialog(IDCANCEL);
    };
    EXPECT_EQ(outer.DoModal(), IDCANCEL);
    EXPECT_EQ(innerOwner, s_outerWindow);
    EXPECT_TRUE(s_outerDisabledDuringInnerRun);
    EXPECT_TRUE(outerEnabledAfter);
}

TEST(Win32FileDialogTest, FiltersBecomeZeroSeparatedPairs)
{
    struct Case {
        const char* filter;
        std::wstring win32;
    };
    using namespace std::string_literals;
    for (const Case& c : {
             Case{"BIN files (*.bin)|*.bin|All files (*.*)|*.*||",
                  L"BIN files (*.bin)\0*.bin\0All files (*.*)\0*.*\0\0"s},
             Case{"Images|*.bin;*.hex||", L"Images\0*.bin;*.hex\0\0"s},
             Case{"固件|*.bin||", L"\x56FA\x4EF6\0*.bin\0\0"s},
             Case{"", L"All files\0*.*\0\0"s},
         }) {
        EXPECT_EQ(ConvertFileFilterForWin32(c.filter), c.win32) << c.filter;
    }
}

TEST(Win32FileDialogTest, TheAnswerBecomesFullPathsFirstFileFirst)
{
    using namespace std::string_literals;
    struct Case {
        std::wstring buffer;
        std::vector<std::string> files;
    };
    for (const Case& c : {
             Case{L"C:\\fw\\boot.bin\0\0"s, {"C:\\fw\\boot.bin"}},
             Case{L"C:\\固件\0b.bin\0a.bin\0\0"s, {"C:\\固件\\b.bin", "C:\\固件\\a.bin"}},
             Case{L"\0\0"s, {}},
         }) {
        EXPECT_EQ(SplitOpenFileNames(c.buffer), c.files);
    }
}

// The common dialog itself: opened through the real host, its file-type list
// and file name read from its controls, then cancelled.
BOOL CALLBACK FindShownDialog(HWND window, LPARAM out)
{
    if (ClassOf(window) == "#32770" && ::IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(out) = window;
        return FALSE;
    }
    return TRUE;
}

std::vector<std::string> s_fileTypes;
std::string s_fileName;
bool s_sawFileDialog = false;

void CALLBACK ReadAndCancelFileDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    constexpr int kFileTypeList = 0x470;   // cmb1
    constexpr int kFileNameEdit = 0x480;   // edt1
    constexpr int kFileNameCombo = 0x47C;  // cmb13
    HWND dialog = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindShownDialog,
                        reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) return;  // not open yet: the next tick looks again
    ::KillTimer(nullptr, id);
    s_sawFileDialog = true;
    const HWND types = ::GetDlgItem(dialog, kFileTypeList);
    const int count = static_cast<int>(::SendMessageW(types, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring item(
            static_cast<std::size_t>(::SendMessageW(types, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        item.resize(static_cast<std::size_t>(
            ::SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
        s_fileTypes.push_back(base::WideToUtf8(item));
    }
    HWND name = ::GetDlgItem(dialog, kFileNameCombo);
    if (name == nullptr) name = ::GetDlgItem(dialog, kFileNameEdit);
    s_fileName = TextOf(name);
    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST(Win32FileDialogTest, TheCommonDialogShowsTheFilterAndTheInitialNameAndCancelGivesNothing)
{
    ::SetTimer(nullptr, 0, 20, &ReadAndCancelFileDialog);
    Win32ModalHost host;
    CFileDialog dialog(host, "bin", "*.bin", true, "BIN 文件 (*.bin)|*.bin|All files (*.*)|*.*||");
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.GetPathName(), "");
    ASSERT_TRUE(s_sawFileDialog);
    EXPECT_EQ(s_fileTypes, (std::vector<std::string>{"BIN 文件 (*.bin)", "All files (*.*)"}));
    EXPECT_EQ(s_fileName, "*.bin");
}

}  // namespace
}  // namespace korvane::framework
