// The bound control members over their Qt widgets.
#include "framework/Controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>
#include <stdexcept>

#include "framework/Text.h"

namespace korvane::framework {

QWidget& CWnd::Bound() const
{
    if (m_widget == nullptr) throw std::logic_error("the control member is not bound to a control");
    return *m_widget;
}

void CWnd::SetWindowText(const std::string& text)
{
    QWidget& widget = Bound();
    const QString qtext = ToQString(text);
    if (auto* label = qobject_cast<QLabel*>(&widget)) {
        label->setText(qtext);
    } else if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
        button->setText(qtext);
    } else if (auto* edit = qobject_cast<QLineEdit*>(&widget)) {
        edit->setText(qtext);
    } else if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
        group->setTitle(qtext);
    } else {
        widget.setWindowTitle(qtext);
    }
}

std::string CWnd::GetWindowText() const
{
    QWidget& widget = Bound();
    if (auto* label = qobject_cast<QLabel*>(&widget)) return FromQString(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(&widget)) return FromQString(button->text());
    if (auto* edit = qobject_cast<QLineEdit*>(&widget)) return FromQString(edit->text());
    if (auto* group = qobject_cast<QGroupBox*>(&widget)) return FromQString(group->title());
    if (auto* combo = qobject_cast<QComboBox*>(&widget)) return FromQString(combo->currentText());
    return FromQString(widget.windowTitle());
}

void CWnd::EnableWindow(bool enable)
{
    Bound().setEnabled(enable);
}

QComboBox& CComboBox::Combo() const
{
    auto* combo = qobject_cast<QComboBox*>(&Bound());
    if (combo == nullptr) throw std::logic_error("the control is not a drop-down list");
    return *combo;
}

void CComboBox::ResetContent()
{
    Combo().clear();
}

int CComboBox::AddString(const std::string& text)
{
    Combo().addItem(ToQString(text));
    return Combo().count() - 1;
}

void CComboBox::SetCurSel(int index)
{
    QComboBox& combo = Combo();
    combo.setCurrentIndex(index >= 0 && index < combo.count() ? index : -1);
}

int CComboBox::GetCurSel() const
{
    return Combo().currentIndex();
}
int CComboBox::GetCount() const
{
    return Combo().count();
}
std::string CComboBox::GetLBText(int index) const
{
    return FromQString(Combo().itemText(index));
}

QProgressBar& CProgressCtrl::Bar() const
{
    auto* bar = qobject_cast<QProgressBar*>(&Bound());
    if (bar == nullptr) throw std::logic_error("the control is not a progress bar");
    return *bar;
}

void CProgressCtrl::SetRange(int lower, int upper)
{
    Bar().setRange(lower, upper);
}

void CProgressCtrl::SetPos(int position)
{
    QProgressBar& bar = Bar();
    bar.setValue(std::clamp(position, bar.minimum(), bar.maximum()));
}

int CProgressCtrl::GetPos() const
{
    return Bar().value();
}
int CProgressCtrl::GetRangeUpper() const
{
    return Bar().maximum();
}

}  // namespace korvane::framework
