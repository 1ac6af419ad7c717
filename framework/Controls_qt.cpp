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

namespace {

// The bound widget; throws std::logic_error when the member is not bound.
QWidget& Bound(const CWnd& control)
{
    if (control.Widget() == nullptr) {
        throw std::logic_error("the control member is not bound to a control");
    }
    return *control.Widget();
}

QComboBox& Combo(const CWnd& control)
{
    auto* combo = qobject_cast<QComboBox*>(&Bound(control));
    if (combo == nullptr) throw std::logic_error("the control is not a drop-down list");
    return *combo;
}

QProgressBar& Bar(const CWnd& control)
{
    auto* bar = qobject_cast<QProgressBar*>(&Bound(control));
    if (bar == nullptr) throw std::logic_error("the control is not a progress bar");
    return *bar;
}

}  // namespace

void CWnd::SetWindowText(const std::string& text)
{
    QWidget& widget = Bound(*this);
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
    QWidget& widget = Bound(*this);
    if (auto* label = qobject_cast<QLabel*>(&widget)) return FromQString(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(&widget)) return FromQString(button->text());
    if (auto* edit = qobject_cast<QLineEdit*>(&widget)) return FromQString(edit->text());
    if (auto* group = qobject_cast<QGroupBox*>(&widget)) return FromQString(group->title());
    if (auto* combo = qobject_cast<QComboBox*>(&widget)) return FromQString(combo->currentText());
    return FromQString(widget.windowTitle());
}

void CWnd::EnableWindow(bool enable)
{
    Bound(*this).setEnabled(enable);
}

void CComboBox::ResetContent()
{
    Combo(*this).clear();
}

int CComboBox::AddString(const std::string& text)
{
    Combo(*this).addItem(ToQString(text));
    return Combo(*this).count() - 1;
}

void CComboBox::SetCurSel(int index)
{
    QComboBox& combo = Combo(*this);
    combo.setCurrentIndex(index >= 0 && index < combo.count() ? index : -1);
}

int CComboBox::GetCurSel() const
{
    return Combo(*this).currentIndex();
}
int CComboBox::GetCount() const
{
    return Combo(*this).count();
}
std::string CComboBox::GetLBText(int index) const
{
    return FromQString(Combo(*this).itemText(index));
}

void CProgressCtrl::SetRange(int lower, int upper)
{
    Bar(*this).setRange(lower, upper);
}

void CProgressCtrl::SetPos(int position)
{
    QProgressBar& bar = Bar(*this);
    bar.setValue(std::clamp(position, bar.minimum(), bar.maximum()));
}

int CProgressCtrl::GetPos() const
{
    return Bar(*this).value();
}
int CProgressCtrl::GetRangeUpper() const
{
    return Bar(*this).maximum();
}

}  // namespace korvane::framework
