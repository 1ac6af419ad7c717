// Control members of a dialog, bound to the control of one id (DDX_Control):
// the port list, the path edits and the progress bar.
#pragma once

#include <string>

#include "framework/NativeTypes.h"

namespace korvane::framework {

class CWnd {
public:
    virtual ~CWnd() = default;
    virtual void Attach(NativeWidget widget) { m_widget = widget; }
    NativeWidget Widget() const { return m_widget; }
    bool IsAttached() const { return m_widget != nullptr; }

    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    void EnableWindow(bool enable);

private:
    NativeWidget m_widget = nullptr;
};

class CComboBox : public CWnd {
public:
    void ResetContent();
    int AddString(const std::string& text);  // index of the new entry
    // Selects entry `index`; an index outside the list leaves no selection.
    void SetCurSel(int index);
    int GetCurSel() const;  // -1 when nothing is selected
    int GetCount() const;
    std::string GetLBText(int index) const;
};

class CEdit : public CWnd {};

class CProgressCtrl : public CWnd {
public:
    void SetRange(int lower, int upper);
    // Values above the range show a full bar, below it an empty one.
    void SetPos(int position);
    int GetPos() const;
    int GetRangeUpper() const;
};

}  // namespace korvane::framework
