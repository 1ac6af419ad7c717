// The template-driven dialog over a QDialog: building the controls, turning
// clicks, keys and timers into the dialog's commands, the modal run and the busy
// look. What both backends share is in CDialogShared.cpp.
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
#include <stdexcept>

#include "framework/Text.h"

namespace korvane::framework {

// The Qt window of a CDialog: turns Escape, Enter, the close box and timer
// events into the dialog's commands and timer messages.
class CDialog::QtWindow : public QDialog {
public:
    // `ownerWindow`: the window that owns this one (it keeps this one above it
    // and out of the taskbar); a window, not a child, either way.
    QtWindow(CDialog& owner, QWidget* ownerWindow) : QDialog(ownerWindow), m_owner(owner) {}

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

    void timerEvent(QTimerEvent* event) override { m_owner.OnQtTimer(event->timerId()); }

private:
    CDialog& m_owner;
};

namespace {

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

}  // namespace

int CDialog::DoModal()
{
    CreateWindowFromTemplate();
    Guarded([this] { OnInitDialog(); });
    int result = m_modalResult;
    if (!m_endRequested) {
        CenterOnScreen();
        result = m_window->exec();
    }
    DestroyWindow();
    return result;
}

void CDialog::Create(bool show)
{
    CreateWindowFromTemplate();
    Guarded([this] { OnInitDialog(); });
    CenterOnScreen();
    if (show && !m_endRequested) m_window->show();
}

// Owned windows go first, as they would with their owner; then this one.
void CDialog::ReleaseWindow(bool detachControls)
{
    if (!m_window) return;
    auto& live = LiveDialogs();
    while (!live.empty() && live.back() != this) live.back()->DestroyWindow();
    if (const auto self = std::find(live.begin(), live.end(), this); self != live.end()) {
        live.erase(self);
    }
    for (const auto& [ourId, qtId] : m_timers) m_window->killTimer(qtId);
    m_timers.clear();
    if (detachControls) {
        for (CWnd* control : m_boundControls) control->Attach(nullptr);
    }
    m_boundControls.clear();
    m_controls.clear();
    m_window.reset();
}

void CDialog::EndDialog(int result)
{
    m_endRequested = true;
    m_modalResult = result;
    if (m_window) m_window->done(result);
}

void CDialog::CreateWindowFromTemplate()
{
    DestroyWindow();
    m_endRequested = false;
    m_modalResult = IDCANCEL;
    QWidget* owner = LiveDialogs().empty() ? nullptr : LiveDialogs().back()->m_window.get();
    auto window = std::make_unique<QtWindow>(*this, owner);
    window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window->setWindowTitle(WindowSystemTitle(m_template.title));
    const QFont font(ToQString(m_template.fontFamily), m_template.pointSize);
    window->setFont(font);
    m_baseUnits = MeasureDialogBaseUnits(font);
    const QSize size(m_baseUnits.ToPixelsX(m_template.width),
                     m_baseUnits.ToPixelsY(m_template.height));
    if (m_template.sizingBorder) {
        window->resize(size);
    } else {
        window->setFixedSize(size);
    }
    m_window.reset(window.release());
    LiveDialogs().push_back(this);
    for (const ControlTemplate& control : m_template.controls) CreateControl(control);
}

void CDialog::CreateControl(const ControlTemplate& control)
{
    QWidget* widget = MakeWidget(control, m_window.get());
    QRect rect(m_baseUnits.ToPixelsX(control.x), m_baseUnits.ToPixelsY(control.y),
               m_baseUnits.ToPixelsX(control.width), m_baseUnits.ToPixelsY(control.height));
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
                         [this, id] { DispatchCommand(id); });
    }
    if (control.id != kNoId) m_controls[control.id] = widget;
}

// Centres the frame in the screen's available area, but keeps it inside: a
// window larger than the area keeps its title bar and close box in reach at
// the area's top left, as the dialog manager does.
void CDialog::CenterOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || !m_window) return;
    const QRect available = screen->availableGeometry();
    // The frame is known once the window system has framed the window; move()
    // places the frame's top left either way.
    const QMargins frame =
        m_window->windowHandle() != nullptr ? m_window->windowHandle()->frameMargins() : QMargins();
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

void CDialog::OnQtTimer(int qtTimerId)
{
    for (const auto& [ourId, qtId] : m_timers) {
        if (qtId == qtTimerId) {
            DispatchTimer(ourId);
            return;
        }
    }
}

void CDialog::EnableItem(int id, bool enable)
{
    GetDlgItem(id)->setEnabled(enable);
}
bool CDialog::IsItemEnabled(int id) const
{
    // Not isEnabled(): a busy window greys its controls without changing their own states.
    return !GetDlgItem(id)->testAttribute(Qt::WA_ForceDisabled);
}
void CDialog::ShowItem(int id, bool show)
{
    GetDlgItem(id)->setVisible(show);
}
bool CDialog::IsItemShown(int id) const
{
    return !GetDlgItem(id)->isHidden();
}

void CDialog::SetWindowText(const std::string& title)
{
    m_template.title = title;
    if (m_window) m_window->setWindowTitle(WindowSystemTitle(title));
}

void CDialog::SetTimer(std::uintptr_t timerId, int milliseconds)
{
    if (!m_window) throw std::logic_error("a timer needs the dialog's window");
    KillTimer(timerId);
    m_timers[timerId] = m_window->startTimer(milliseconds);
}

void CDialog::KillTimer(std::uintptr_t timerId)
{
    const auto found = m_timers.find(timerId);
    if (found == m_timers.end()) return;
    if (m_window) m_window->killTimer(found->second);
    m_timers.erase(found);
}

void DialogDestroyer::operator()(QDialog* window) const
{
    delete window;
}

NativeWidget WidgetOf(NativeDialog dialog)
{
    return dialog;
}

// A finished run reaches the window's thread as a call queued to the window.
std::function<void()> CDialog::BackgroundNotifier()
{
    QDialog* window = m_window.get();
    return [this, window] {
        QMetaObject::invokeMethod(
            window, [this] { FinishBackgroundRun(); }, Qt::QueuedConnection);
    };
}

// A busy window greys its controls and takes no input, but keeps each
// control's own state, so nothing needs restoring afterwards.
void CDialog::ShowBusy(bool busy)
{
    if (!m_window) return;
    m_window->setEnabled(!busy);
    if (busy) {
        m_window->setCursor(Qt::WaitCursor);
    } else {
        m_window->unsetCursor();
    }
}

}  // namespace korvane::framework
