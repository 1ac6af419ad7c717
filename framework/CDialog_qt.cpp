// The template-driven dialog over a QDialog: building the controls, turning
// clicks, keys and timers into the dialog's commands, the modal run and the busy
// look. What both backends share is in CDialog.cpp.
#include "framework/CDialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimerEvent>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>

#include "framework/Text.h"

namespace korvane::framework {

namespace {

// The Qt window of a CDialog: turns Escape, Enter, the close box and timer
// events into the dialog's commands and timer messages.
class QtWindow : public QDialog {
public:
    // `ownerWindow`: the window that owns this one (it keeps this one above it
    // and out of the taskbar); a window, not a child, either way.
    // `onTimer` takes Qt's timer id.
    QtWindow(CDialog& owner, QWidget* ownerWindow, std::function<void(int)> onTimer)
        : QDialog(ownerWindow), m_owner(owner), m_onTimer(std::move(onTimer))
    {
    }

    void reject() override { m_owner.DispatchCommand(IDCANCEL); }
    void accept() override { m_owner.DispatchCommand(IDOK); }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
            case Qt::Key_Escape:
                m_owner.DispatchCommand(IDCANCEL);
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                // A push button holding the focus takes Enter as its own click;
                // otherwise Enter is the (possibly hidden) default OK command.
                if (auto* button = qobject_cast<QPushButton*>(focusWidget());
                    button != nullptr && button->isEnabled() && button->isVisible()) {
                    button->click();
                } else {
                    m_owner.DispatchCommand(IDOK);
                }
                return;
            default:
                QDialog::keyPressEvent(event);
        }
    }

    void timerEvent(QTimerEvent* event) override { m_onTimer(event->timerId()); }

private:
    CDialog& m_owner;
    std::function<void(int)> m_onTimer;
};

// Windows that exist, oldest first. A dialog created while others exist is
// owned by the newest of them, as a dialog framework makes the active window
// the owner of a dialog given no parent (the precautions form is owned by the
// main window, so it has no taskbar entry of its own).
std::vector<CDialog*>& LiveDialogs()
{
    static std::vector<CDialog*> dialogs;
    return dialogs;
}

// What the window system is given as the title. Qt puts the application's
// name in place of an empty title; a single blank shows no title at all.
QString WindowSystemTitle(const std::string& title)
{
    return title.empty() ? QStringLiteral(" ") : ToQString(title);
}

// A group box that draws its caption on the frame's top line, as the dialog
// templates assume (Qt's styles put the caption above the frame, which moves
// the frame's top edge down onto the controls placed just inside it).
class FrameGroupBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override
    {
        // The frame is drawn here, not by the style: Qt's styles move it below
        // the caption's height whatever rectangle they are given.
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int lineY = metrics.height() / 2;
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, lineY, -1, -1));
        if (title().isEmpty()) return;
        // The caption sits one character in from the left, on a strip of the
        // window's background a blank wide on each side, over the frame line.
        const int blank = metrics.horizontalAdvance(QLatin1Char(' '));
        const QRect strip(metrics.averageCharWidth(), 0,
                          metrics.horizontalAdvance(title()) + 2 * blank, metrics.height());
        painter.fillRect(strip, palette().brush(QPalette::Window));
        style()->drawItemText(&painter, strip, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                              isEnabled(), title(), QPalette::WindowText);
    }
};

Qt::Alignment TextAlignment(ControlKind kind)
{
    switch (kind) {
        case ControlKind::TextCentre:
            return Qt::AlignTop | Qt::AlignHCenter;
        case ControlKind::TextRight:
            return Qt::AlignTop | Qt::AlignRight;
        default:
            return Qt::AlignTop | Qt::AlignLeft;
    }
}

QWidget* MakeWidget(const ControlTemplate& control, QWidget* parent)
{
    const QString caption = ToQString(control.caption);
    switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(caption, parent);
            // Enter is dispatched by the window itself, never by Qt's default button.
            button->setAutoDefault(false);
            button->setDefault(false);
            return button;
        }
        case ControlKind::TextLeft:
        case ControlKind::TextCentre:
        case ControlKind::TextRight: {
            auto* label = new QLabel(caption, parent);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(TextAlignment(control.kind));
            return label;
        }
        case ControlKind::Edit:
            return new QLineEdit(caption, parent);
        case ControlKind::DropDownList:
            return new QComboBox(parent);
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setTextVisible(false);
            bar->setRange(0, 100);
            bar->setValue(0);
            return bar;
        }
        case ControlKind::GroupBox:
            return new FrameGroupBox(caption, parent);
        case ControlKind::Picture: {
            auto* picture = new QLabel(parent);
            const QPixmap pixmap(caption);
            if (!pixmap.isNull()) picture->setPixmap(pixmap);
            return picture;
        }
        case ControlKind::SerialControl:
            return new QWidget(parent);
    }
    throw std::logic_error("unknown control kind");
}

bool IsText(ControlKind kind)
{
    return kind == ControlKind::TextLeft || kind == ControlKind::TextCentre ||
           kind == ControlKind::TextRight;
}

// A label one line high whose caption is wider than its box: our substitute
// face runs wider than the template's, and wrapping would push the rest of
// the caption out of sight. Such a label keeps one line and grows to its text,
// on the side its alignment allows.
QRect FitOneLineText(QLabel& label, QRect rect, ControlKind kind)
{
    // Qt's text layout needs a pixel or two beyond the advance before it wraps.
    constexpr int kLayoutSlack = 2;
    const QFontMetrics metrics(label.font());
    if (rect.height() >= 2 * metrics.lineSpacing()) return rect;
    label.setWordWrap(false);
    const int growth = metrics.horizontalAdvance(label.text()) + kLayoutSlack - rect.width();
    if (growth <= 0) return rect;
    switch (kind) {
        case ControlKind::TextRight:
            rect.setLeft(rect.left() - growth);
            break;
        case ControlKind::TextCentre:
            rect.adjust(-growth / 2, 0, growth - growth / 2, 0);
            break;
        default:
            rect.setRight(rect.right() + growth);
            break;
    }
    return rect;
}

// The Qt window of one dialog, and its timers.
class QtDialogBackend : public DialogBackend {
public:
    explicit QtDialogBackend(CDialog& dialog) : DialogBackend(dialog) {}

    NativeDialog Window() const override { return m_window.get(); }

    void CreateAndInitialise() override
    {
        CDialog& dialog = Dialog();
        const DialogTemplate& dialogTemplate = dialog.Template();
        QWidget* owner = LiveDialogs().empty() ? nullptr : LiveDialogs().back()->Window();
        auto window = std::make_unique<QtWindow>(dialog, owner,
                                                 [this](int qtTimerId) { OnQtTimer(qtTimerId); });
        window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
        window->setWindowTitle(WindowSystemTitle(dialogTemplate.title));
        const QFont font(ToQString(dialogTemplate.fontFamily), dialogTemplate.pointSize);
        window->setFont(font);
        const DialogBaseUnits units = MeasureDialogBaseUnits(font);
        SetBaseUnits(units);
        const QSize size(units.ToPixelsX(dialogTemplate.width),
                         units.ToPixelsY(dialogTemplate.height));
        if (dialogTemplate.sizingBorder) {
            window->resize(size);
        } else {
            window->setFixedSize(size);
        }
        m_window = std::move(window);
        LiveDialogs().push_back(&dialog);
        for (const ControlTemplate& control : dialogTemplate.controls) {
            CreateControl(control, units);
        }
        Initialise();
    }

    void DestroyOwnedWindows() override
    {
        auto& live = LiveDialogs();
        while (!live.empty() && live.back() != &Dialog()) live.back()->DestroyWindow();
    }

    void Destroy() override
    {
        auto& live = LiveDialogs();
        if (const auto self = std::find(live.begin(), live.end(), &Dialog()); self != live.end()) {
            live.erase(self);
        }
        for (const auto& [ourId, qtId] : m_timers) m_window->killTimer(qtId);
        m_timers.clear();
        m_window.reset();
    }

    // Centres the frame in the screen's available area, but keeps it inside: a
    // window larger than the area keeps its title bar and close box in reach at
    // the area's top left, as the dialog manager does.
    void CenterOnScreen() override
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr || !m_window) return;
        const QRect available = screen->availableGeometry();
        // The frame is known once the window system has framed the window; move()
        // places the frame's top left either way.
        const QMargins frame = m_window->windowHandle() != nullptr
                                   ? m_window->windowHandle()->frameMargins()
                                   : QMargins();
        const QSize outer = m_window->size().grownBy(frame);
        QPoint topLeft = available.center() - QPoint(outer.width() / 2, outer.height() / 2);
        topLeft.setX(
            std::max(available.left(),
                     std::min(topLeft.x(), available.left() + available.width() - outer.width())));
        topLeft.setY(
            std::max(available.top(),
                     std::min(topLeft.y(), available.top() + available.height() - outer.height())));
        m_window->move(topLeft);
    }

    void Show() override { m_window->show(); }
    int RunModal() override { return m_window->exec(); }
    void EndModal(int result) override { m_window->done(result); }

    void EnableItem(NativeWidget control, bool enable) override { control->setEnabled(enable); }
    bool IsItemEnabled(NativeWidget control) const override
    {
        // Not isEnabled(): a busy window greys its controls without changing their own states.
        return !control->testAttribute(Qt::WA_ForceDisabled);
    }
    void ShowItem(NativeWidget control, bool show) override { control->setVisible(show); }
    bool IsItemShown(NativeWidget control) const override { return !control->isHidden(); }
    void SetTitle(const std::string& title) override
    {
        m_window->setWindowTitle(WindowSystemTitle(title));
    }

    void SetTimer(std::uintptr_t timerId, int milliseconds) override
    {
        KillTimer(timerId);
        m_timers[timerId] = m_window->startTimer(milliseconds);
    }

    void KillTimer(std::uintptr_t timerId) override
    {
        const auto found = m_timers.find(timerId);
        if (found == m_timers.end()) return;
        if (m_window) m_window->killTimer(found->second);
        m_timers.erase(found);
    }

    bool HasTimer(std::uintptr_t timerId) const override { return m_timers.count(timerId) != 0; }

    // A finished run reaches the window's thread as a call queued to the window.
    std::function<void()> BackgroundNotifier() override
    {
        QDialog* window = m_window.get();
        return [this, window] {
            QMetaObject::invokeMethod(
                window, [this] { BackgroundRunReturned(); }, Qt::QueuedConnection);
        };
    }

    // A busy window greys its controls and takes no input, but keeps each
    // control's own state, so nothing needs restoring afterwards.
    void ShowBusy(bool busy) override
    {
        if (!m_window) return;
        m_window->setEnabled(!busy);
        if (busy) {
            m_window->setCursor(Qt::WaitCursor);
        } else {
            m_window->unsetCursor();
        }
    }

private:
    void CreateControl(const ControlTemplate& control, const DialogBaseUnits& units)
    {
        QWidget* widget = MakeWidget(control, m_window.get());
        QRect rect(units.ToPixelsX(control.x), units.ToPixelsY(control.y),
                   units.ToPixelsX(control.width), units.ToPixelsY(control.height));
        if (control.kind == ControlKind::DropDownList) {
            // The template's height is that of the dropped list; the closed box is one line.
            rect.setHeight(widget->sizeHint().height());
        }
        if (auto* picture = qobject_cast<QLabel*>(widget);
            control.kind == ControlKind::Picture && !picture->pixmap().isNull()) {
            // A picture control shows its bitmap at the bitmap's own size.
            rect.setSize(picture->pixmap().size());
        }
        if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && IsText(control.kind)) {
            rect = FitOneLineText(*label, rect, control.kind);
        }
        widget->setGeometry(rect);
        widget->setEnabled(control.enabled);
        widget->setVisible(control.shown);
        const bool focusable = control.tabStop && control.kind != ControlKind::SerialControl;
        widget->setFocusPolicy(focusable ? Qt::StrongFocus : Qt::NoFocus);
        if (control.kind == ControlKind::GroupBox) widget->lower();  // a frame never takes clicks
        if (control.kind == ControlKind::PushButton || control.kind == ControlKind::DefPushButton) {
            const int id = control.id;
            QObject::connect(static_cast<QPushButton*>(widget), &QPushButton::clicked,
                             [this, id] { Command(id); });
        }
        ControlCreated(control.id, widget);
    }

    void OnQtTimer(int qtTimerId)
    {
        for (const auto& [ourId, qtId] : m_timers) {
            if (qtId == qtTimerId) {
                Timer(ourId);
                return;
            }
        }
    }

    std::unique_ptr<QtWindow> m_window;
    std::map<std::uintptr_t, int> m_timers;  // our id -> Qt's timer id
};

}  // namespace

std::unique_ptr<DialogBackend> MakeDialogBackend(CDialog& dialog)
{
    return std::make_unique<QtDialogBackend>(dialog);
}

NativeWidget WidgetOf(NativeDialog dialog)
{
    return dialog;
}

}  // namespace korvane::framework
