// The bound control members over their Win32 controls: window text, the
// drop-down list's messages and the progress bar's.
#include <algorithm>
#include <stdexcept>

#include "base/TextEncoding.h"
#include "framework/Controls.h"

// After our headers: it takes back macros that would rename their names.
#include "framework/Win32Api.h"

namespace korvane::framework {

namespace {

HWND BoundWindow(const CWnd& control)
{
    if (control.Widget() == nullptr) {
        throw std::logic_error("the control member is not bound to a control");
    }
    return control.Widget();
}

HWND BoundOfClass(const CWnd& control, const wchar_t* className, const char* what)
{
    const HWND window = BoundWindow(control);
    wchar_t name[64] = {};  // class names are at most 256 units; ours are short
    ::GetClassNameW(window, name, 64);
    if (::lstrcmpiW(name, className) != 0) {
        throw std::logic_error(std::string("the control is not a ") + what);
    }
    return window;
}

HWND ComboOf(const CWnd& control)
{
    return BoundOfClass(control, WC_COMBOBOXW, "drop-down list");
}

HWND BarOf(const CWnd& control)
{
    return BoundOfClass(control, PROGRESS_CLASSW, "progress bar");
}

}  // namespace

void CWnd::SetWindowText(const std::string& text)
{
    ::SetWindowTextW(BoundWindow(*this), base::Utf8ToWide(text).c_str());
}

std::string CWnd::GetWindowText() const
{
    const HWND window = BoundWindow(*this);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    const int length = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return base::WideToUtf8(text);
}

void CWnd::EnableWindow(bool enable)
{
    ::EnableWindow(BoundWindow(*this), enable ? TRUE : FALSE);
}

void CComboBox::ResetContent()
{
    ::SendMessageW(ComboOf(*this), CB_RESETCONTENT, 0, 0);
}

int CComboBox::AddString(const std::string& text)
{
    const std::wstring wide = base::Utf8ToWide(text);
    const LRESULT index =
        ::SendMessageW(ComboOf(*this), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    if (index < 0) throw std::runtime_error("the drop-down list has no room for another entry");
    return static_cast<int>(index);
}

void CComboBox::SetCurSel(int index)
{
    // An index outside the list clears the selection, as CB_SETCURSEL does with -1.
    const int count = GetCount();
    ::SendMessageW(ComboOf(*this), CB_SETCURSEL, index >= 0 && index < count ? index : -1, 0);
}

int CComboBox::GetCurSel() const
{
    return static_cast<int>(::SendMessageW(ComboOf(*this), CB_GETCURSEL, 0, 0));
}

int CComboBox::GetCount() const
{
    return static_cast<int>(::SendMessageW(ComboOf(*this), CB_GETCOUNT, 0, 0));
}

std::string CComboBox::GetLBText(int index) const
{
    const HWND combo = ComboOf(*this);
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                          reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
    return base::WideToUtf8(text);
}

void CProgressCtrl::SetRange(int lower, int upper)
{
    ::SendMessageW(BarOf(*this), PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void CProgressCtrl::SetPos(int position)
{
    // The bar clamps too; the clamp here keeps GetPos equal to what is shown.
    const HWND bar = BarOf(*this);
    const int lower = static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, TRUE, 0));
    const int upper = static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, lower, upper)), 0);
}

int CProgressCtrl::GetPos() const
{
    return static_cast<int>(::SendMessageW(BarOf(*this), PBM_GETPOS, 0, 0));
}

int CProgressCtrl::GetRangeUpper() const
{
    return static_cast<int>(::SendMessageW(BarOf(*this), PBM_GETRANGE, FALSE, 0));
}

}  // namespace korvane::framework
