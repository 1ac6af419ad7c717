// The template-driven dialog over a Win32 dialog window: the in-memory template
// shown with CreateDialogIndirectParamW, clicks, keys and timers dispatched to
// the message table, and the modal run with its owner disabled.
#include <algorithm>
#include <exception>
#include <stdexcept>
#include <vector>

#include "framework/CDialog.h"
#include "framework/WideText.h"
#include "framework/Win32Dialog.h"

// After our headers: it takes back macros that would rename their names.
#include "framework/Win32Api.h"

namespace korvane::framework {

void DialogDestroyer::operator()(HWND window) const
{
    // The object is going: the window's procedure must not reach it any more.
    ::SetWindowLongPtrW(window, DWLP_USER, 0);
    ::DestroyWindow(window);
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

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    pDX->m_pDlgWnd->BindControl(id, control);
}

CDialog::CDialog(const DialogTemplate& dialogTemplate, ModalHost* host)
    : m_template(dialogTemplate), m_host(host != nullptr ? host : &DefaultModalHost())
{
}

CDialog::~CDialog()
{
    m_controls.clear();
    m_window.reset();
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

void CDialog::DestroyWindow()
{
    if (!m_window) return;
    OnDestroy();
    for (const auto& [ourId, unused] : m_timers) ::KillTimer(m_window.get(), ourId);
    m_timers.clear();
    for (CWnd* control : m_boundControls) control->Attach(nullptr);
    m_boundControls.clear();
    m_controls.clear();
    m_window.reset();
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
        throw std::runtime_error("The window of dialog " + std::to_string(m_template.id) +
                                 " could not be created (Windows error " +
                                 std::to_string(::GetLastError()) + ").");
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

template <class Action>
void CDialog::Guarded(Action&& action)
{
    // No exception may cross the dialog procedure: an error that leaves a
    // handler is shown here, and the program goes on. korvane::Error is a std::exception.
    try {
        action();
    } catch (const std::exception& error) {
        ReportHandlerError(error.what());
    }
}

void CDialog::ReportHandlerError(const std::string& description)
{
    try {
        AfxMessageBox(description);
    } catch (...) {
        // Showing the error failed too; there is nobody left to tell.
    }
}

void CDialog::DispatchCommand(int id)
{
    for (const MessageMapEntry& entry : GetMessageMap()) {
        if (entry.kind == MessageMapEntry::Kind::Clicked && entry.id == id) {
            Guarded([&] { entry.call(*this, 0); });
            return;
        }
    }
    if (id == IDOK) Guarded([this] { OnOK(); });
    if (id == IDCANCEL) Guarded([this] { OnCancel(); });
}

void CDialog::DispatchTimer(std::uintptr_t timerId)
{
    for (const MessageMapEntry& entry : GetMessageMap()) {
        if (entry.kind == MessageMapEntry::Kind::Timer) {
            Guarded([&] { entry.call(*this, timerId); });
            return;
        }
    }
}

HWND CDialog::GetDlgItem(int id) const
{
    const auto found = m_controls.find(id);
    if (found == m_controls.end() || found->second == nullptr) {
        throw std::logic_error("the dialog has no control with id " + std::to_string(id));
    }
    return found->second;
}

void CDialog::BindControl(int id, CWnd& control)
{
    control.Attach(GetDlgItem(id));
    if (std::find(m_boundControls.begin(), m_boundControls.end(), &control) ==
        m_boundControls.end()) {
        m_boundControls.push_back(&control);
    }
}

void CDialog::SetDlgItemText(int id, const std::string& text)
{
    GetDlgItem(id);  // an unknown id is a fault of the program
    ::SetDlgItemTextW(m_window.get(), id, ToWide(text).c_str());
}

std::string CDialog::GetDlgItemText(int id) const
{
    CWnd control;
    control.Attach(GetDlgItem(id));
    return control.GetWindowText();
}

void CDialog::EnableItem(int id, bool enable)
{
    ::EnableWindow(GetDlgItem(id), enable ? TRUE : FALSE);
}
bool CDialog::IsItemEnabled(int id) const
{
    return ::IsWindowEnabled(GetDlgItem(id)) != FALSE;
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
    if (m_window) ::SetWindowTextW(m_window.get(), ToWide(title).c_str());
}

std::string CDialog::GetWindowText() const
{
    if (!m_window) return m_template.title;
    CWnd window;
    window.Attach(m_window.get());
    return window.GetWindowText();
}

void CDialog::SetTimer(std::uintptr_t timerId, int milliseconds)
{
    if (!m_window) throw std::logic_error("a timer needs the dialog's window");
    // SetTimer with the id of a running timer replaces it.
    if (::SetTimer(m_window.get(), timerId, static_cast<UINT>(std::max(milliseconds, 0)),
                   nullptr) == 0) {
        throw std::runtime_error("Windows refused timer " + std::to_string(timerId) + " (error " +
                                 std::to_string(::GetLastError()) + ").");
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

bool CDialog::HasTimer(std::uintptr_t timerId) const
{
    return m_timers.count(timerId) != 0;
}

int CDialog::AfxMessageBox(const std::string& text)
{
    return MessageBox(text, ApplicationName(), MessageButtons::Ok, MessageIcon::Exclamation);
}

int CDialog::MessageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                        MessageIcon icon)
{
    return m_host->ShowMessage(m_window.get(), text, caption, buttons, icon);
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    CDataExchange exchange{saveAndValidate, this};
    DoDataExchange(&exchange);
    return true;
}

bool CDialog::OnInitDialog()
{
    return UpdateData(false);
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK()
{
    if (!UpdateData(true)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

const MessageMap& CDialog::GetMessageMap() const
{
    static const MessageMap empty;
    return empty;
}

}  // namespace korvane::framework
