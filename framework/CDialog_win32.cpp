// The template-driven dialog over a Win32 dialog window: the in-memory template
// shown with CreateDialogIndirectParamW, clicks, keys and timers turned into the
// dialog's commands, the modal run with its owner disabled, and the busy look.
// What both backends share is in CDialogShared.cpp.
#include <algorithm>
#include <exception>
#include <stdexcept>
#include <vector>

#include "framework/CDialog.h"
#include "framework/Win32Dialog.h"
#include "settings/TextEncoding.h"
#include "settings/Win32Text.h"

// After our headers: it takes back macros that would rename their names.
#include "framework/Win32Api.h"

namespace korvane::framework {

void DialogDestroyer::operator()(HWND window) const
{
    // The object is going: the window's procedure must not reach it any more.
    ::SetWindowLongPtrW(window, DWLP_USER, 0);
    ::DestroyWindow(window);
}

NativeWidget WidgetOf(NativeDialog dialog)
{
    return dialog;
}

// The dialog procedure and the modal loop, with access to the dialog's state.
class CDialog::Win32Window {
public:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static int RunModalLoop(CDialog& dialog);
    // The framework's dialogs of this thread, innermost last: a new dialog is
    // owned by the innermost one, as a modal run from a handler must be.
    static std::vector<HWND>& OpenDialogs()
    {
        thread_local std::vector<HWND> open;
        return open;
    }
};

namespace {

// Posted by a background run's thread when its work has returned.
constexpr UINT kBackgroundRunDone = WM_APP + 1;

void Forget(std::vector<HWND>& windows, HWND window)
{
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

}  // namespace

INT_PTR CALLBACK CDialog::Win32Window::Procedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_window.reset(window);
        OpenDialogs().push_back(window);
        for (const ControlTemplate& control : dialog->m_template.controls) {
            if (control.id != kNoId)
                dialog->m_controls[control.id] = ::GetDlgItem(window, control.id);
        }
        RECT units{0, 0, 4, 8};
        ::MapDialogRect(window, &units);
        dialog->m_baseUnits = DialogBaseUnits{units.right, units.bottom};
        dialog->Guarded([dialog] { dialog->OnInitDialog(); });
        return TRUE;  // the dialog manager gives the first tab stop the focus
    }
    if (message == WM_NCDESTROY) {
        Forget(OpenDialogs(), window);
        return FALSE;
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    try {
        switch (message) {
            case WM_COMMAND:
                // Clicks, and Enter and Escape as IsDialogMessage turns them into
                // the default button's id and IDCANCEL; the close box comes as IDCANCEL.
                if (HIWORD(wParam) == BN_CLICKED) {
                    dialog->DispatchCommand(LOWORD(wParam));
                    return TRUE;
                }
                return FALSE;
            case WM_TIMER:
                dialog->DispatchTimer(static_cast<std::uintptr_t>(wParam));
                return TRUE;
            case kBackgroundRunDone:
                dialog->FinishBackgroundRun();
                return TRUE;
            case WM_SETCURSOR:
                // A busy window shows the wait cursor over all of it (its
                // controls are disabled, so the pointer's messages come here).
                if (!dialog->m_greyed) return FALSE;
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                ::SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
                return TRUE;
            default:
                return FALSE;
        }
    } catch (...) {
        // Nothing may cross the system's code on its way back; the handler guard
        // has shown every std::exception already.
        dialog->ReportHandlerError("An unexpected error ended the last action.");
        return TRUE;
    }
}

int CDialog::Win32Window::RunModalLoop(CDialog& dialog)
{
    const HWND window = dialog.m_window.get();
    const HWND owner = ::GetWindow(window, GW_OWNER);
    const bool ownerWasEnabled = owner != nullptr && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    MSG message{};
    while (!dialog.m_endRequested) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // Someone asked the process to quit: end this run and pass it on.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1) break;
        if (!::IsDialogMessageW(window, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    // The owner comes back before this window hides, so the focus returns to it.
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    ::ShowWindow(window, SW_HIDE);
    return dialog.m_modalResult;
}

int CDialog::DoModal()
{
    CreateWindowFromTemplate();  // initialises the dialog on WM_INITDIALOG
    int result = m_modalResult;
    if (!m_endRequested && m_window) {
        CenterOnScreen();
        result = Win32Window::RunModalLoop(*this);
    }
    DestroyWindow();
    return result;
}

void CDialog::Create(bool show)
{
    CreateWindowFromTemplate();
    CenterOnScreen();
    if (show && !m_endRequested && m_window) ::ShowWindow(m_window.get(), SW_SHOW);
}

// Owned windows go first, with their dialogs' own clean-up, as they would go
// with their owner; then this one.
void CDialog::ReleaseWindow(bool detachControls)
{
    if (!m_window) return;
    const HWND self = m_window.get();
    std::vector<HWND>& open = Win32Window::OpenDialogs();
    while (!open.empty() && open.back() != self &&
           std::find(open.begin(), open.end(), self) != open.end()) {
        const HWND owned = open.back();
        auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(owned, DWLP_USER));
        if (dialog != nullptr) {
            dialog->DestroyWindow();
        } else {
            ::DestroyWindow(owned);
        }
        Forget(open, owned);
    }
    for (const auto& [ourId, unused] : m_timers) ::KillTimer(self, ourId);
    m_timers.clear();
    if (detachControls) {
        for (CWnd* control : m_boundControls) control->Attach(nullptr);
    }
    m_boundControls.clear();
    m_controls.clear();
    m_greyed = false;
    m_ownEnabled.clear();
    m_focusBeforeBusy = nullptr;
    m_window.reset();
    // A modal run of this window ends with it.
    m_endRequested = true;
    ::PostMessageW(nullptr, WM_NULL, 0, 0);
}

void CDialog::EndDialog(int result)
{
    m_endRequested = true;
    m_modalResult = result;
    // Wakes the modal loop, which then sees the request.
    if (m_window) ::PostMessageW(m_window.get(), WM_NULL, 0, 0);
}

void CDialog::CreateWindowFromTemplate()
{
    DestroyWindow();
    m_endRequested = false;
    m_modalResult = IDCANCEL;
    const std::vector<std::uint16_t> resource = BuildDialogTemplateEx(m_template);
    const HWND owner =
        Win32Window::OpenDialogs().empty() ? nullptr : Win32Window::OpenDialogs().back();
    const HWND window = ::CreateDialogIndirectParamW(
        ::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(resource.data()), owner,
        &Win32Window::Procedure, reinterpret_cast<LPARAM>(this));
    if (window == nullptr && !m_window) {
        throw std::runtime_error(
            "The window of dialog " + std::to_string(m_template.id) +
            " could not be created: " + settings::SystemMessage(::GetLastError()) + ".");
    }
}

void CDialog::CenterOnScreen()
{
    if (!m_window) return;
    const HWND window = m_window.get();
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const RECT& area = monitor.rcWork;
    const LONG width = frame.right - frame.left;
    const LONG height = frame.bottom - frame.top;
    const LONG x = area.left + std::max<LONG>(0, (area.right - area.left - width) / 2);
    const LONG y = area.top + std::max<LONG>(0, (area.bottom - area.top - height) / 2);
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::EnableItem(int id, bool enable)
{
    const HWND control = GetDlgItem(id);
    if (m_greyed) {
        m_ownEnabled[control] = enable;  // applied when the window is no longer busy
        return;
    }
    ::EnableWindow(control, enable ? TRUE : FALSE);
}
bool CDialog::IsItemEnabled(int id) const
{
    // A busy window greys its controls; the answer is the control's own state.
    const HWND control = GetDlgItem(id);
    if (const auto own = m_ownEnabled.find(control); m_greyed && own != m_ownEnabled.end()) {
        return own->second;
    }
    return ::IsWindowEnabled(control) != FALSE;
}
void CDialog::ShowItem(int id, bool show)
{
    ::ShowWindow(GetDlgItem(id), show ? SW_SHOW : SW_HIDE);
}
bool CDialog::IsItemShown(int id) const
{
    return (::GetWindowLongW(GetDlgItem(id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void CDialog::SetWindowText(const std::string& title)
{
    m_template.title = title;
    if (m_window) ::SetWindowTextW(m_window.get(), settings::Utf8ToWide(title).c_str());
}

void CDialog::SetTimer(std::uintptr_t timerId, int milliseconds)
{
    if (!m_window) throw std::logic_error("a timer needs the dialog's window");
    // SetTimer with the id of a running timer replaces it.
    if (::SetTimer(m_window.get(), timerId, static_cast<UINT>(std::max(milliseconds, 0)),
                   nullptr) == 0) {
        throw std::runtime_error("Windows refused timer " + std::to_string(timerId) + ": " +
                                 settings::SystemMessage(::GetLastError()) + ".");
    }
    m_timers[timerId] = milliseconds;
}

void CDialog::KillTimer(std::uintptr_t timerId)
{
    const auto found = m_timers.find(timerId);
    if (found == m_timers.end()) return;
    if (m_window) ::KillTimer(m_window.get(), timerId);
    m_timers.erase(found);
}

// A finished run reaches the window's thread as a private message posted to
// the window; its procedure finishes the run.
std::function<void()> CDialog::BackgroundNotifier()
{
    const HWND window = m_window.get();
    return [window] { ::PostMessageW(window, kBackgroundRunDone, 0, 0); };
}

// A busy window disables every control (greyed, no clicks, no keys) and shows
// the wait cursor; afterwards each control gets its own state back, and the
// focus returns to the control that had it.
void CDialog::ShowBusy(bool busy)
{
    if (!m_window || busy == m_greyed) return;
    const HWND window = m_window.get();
    if (busy) {
        const HWND focus = ::GetFocus();
        m_focusBeforeBusy = focus != nullptr && ::IsChild(window, focus) ? focus : nullptr;
        for (HWND control = ::GetWindow(window, GW_CHILD); control != nullptr;
             control = ::GetWindow(control, GW_HWNDNEXT)) {
            m_ownEnabled[control] = ::IsWindowEnabled(control) != FALSE;
            ::EnableWindow(control, FALSE);
        }
        m_greyed = true;
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return;
    }
    m_greyed = false;
    for (const auto& [control, enabled] : m_ownEnabled)
        ::EnableWindow(control, enabled ? TRUE : FALSE);
    m_ownEnabled.clear();
    if (m_focusBeforeBusy != nullptr && ::IsWindowEnabled(m_focusBeforeBusy) &&
        ::IsWindowVisible(m_focusBeforeBusy)) {
        ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_focusBeforeBusy), TRUE);
    }
    m_focusBeforeBusy = nullptr;
    // The pointer takes the arrow back at once, not at its next move.
    POINT pointer{};
    if (::GetCursorPos(&pointer)) ::SetCursorPos(pointer.x, pointer.y);
}

}  // namespace korvane::framework
