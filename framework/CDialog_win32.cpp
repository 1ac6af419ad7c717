// The template-driven dialog over a Win32 dialog window: the in-memory template
// shown with CreateDialogIndirectParamW, clicks, keys and timers turned into the
// dialog's commands, the modal run with its owner disabled, and the busy look.
// What both backends share is in CDialog.cpp.
#include <algorithm>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "base/TextEncoding.h"
#include "framework/CDialog.h"
#include "framework/Win32Dialog.h"
#include "settings/Win32Text.h"

// After our headers: it takes back macros that would rename their names.
#include "framework/Win32Api.h"

namespace korvane::framework {

NativeWidget WidgetOf(NativeDialog dialog)
{
    return dialog;
}

namespace {

// Posted by a background run's thread when its work has returned.
constexpr UINT kBackgroundRunDone = WM_APP + 1;

void Forget(std::vector<HWND>& windows, HWND window)
{
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

// The framework's dialogs of this thread, innermost last: a new dialog is
// owned by the innermost one, as a modal run from a handler must be.
std::vector<HWND>& OpenDialogs()
{
    thread_local std::vector<HWND> open;
    return open;
}

// Destroys a dialog window the framework created.
struct DialogDestroyer {
    void operator()(HWND window) const
    {
        // The backend is letting it go: the window's procedure must not reach it any more.
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        ::DestroyWindow(window);
    }
};

// The dialog window of one dialog: its procedure, the modal loop, timers and
// the busy look. The window's user data points at its backend.
class Win32DialogBackend : public DialogBackend {
public:
    explicit Win32DialogBackend(CDialog& dialog) : DialogBackend(dialog) {}

    NativeDialog Window() const override { return m_window.get(); }

    // The dialog is initialised on WM_INITDIALOG, inside the creation.
    void CreateAndInitialise() override
    {
        const DialogTemplate& dialogTemplate = Dialog().Template();
        const std::vector<std::uint16_t> resource = BuildDialogTemplateEx(dialogTemplate);
        const HWND owner = OpenDialogs().empty() ? nullptr : OpenDialogs().back();
        const HWND window = ::CreateDialogIndirectParamW(
            ::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(resource.data()), owner,
            &Procedure, reinterpret_cast<LPARAM>(this));
        if (window == nullptr && !m_window) {
            throw std::runtime_error(
                "The window of dialog " + std::to_string(dialogTemplate.id) +
                " could not be created: " + settings::SystemMessage(::GetLastError()) + ".");
        }
    }

    // Owned windows go first, with their dialogs' own clean-up, as they would
    // go with their owner.
    void DestroyOwnedWindows() override
    {
        const HWND self = m_window.get();
        std::vector<HWND>& open = OpenDialogs();
        while (!open.empty() && open.back() != self &&
               std::find(open.begin(), open.end(), self) != open.end()) {
            const HWND owned = open.back();
            auto* backend =
                reinterpret_cast<Win32DialogBackend*>(::GetWindowLongPtrW(owned, DWLP_USER));
            if (backend != nullptr) {
                backend->Dialog().DestroyWindow();
            } else {
                ::DestroyWindow(owned);
            }
            Forget(open, owned);
        }
    }

    void Destroy() override
    {
        const HWND self = m_window.get();
        for (const std::uintptr_t timerId : m_timers) ::KillTimer(self, timerId);
        m_timers.clear();
        m_greyed = false;
        m_ownEnabled.clear();
        m_focusBeforeBusy = nullptr;
        m_window.reset();
        // Wakes a modal run of this window, which ends with it.
        ::PostMessageW(nullptr, WM_NULL, 0, 0);
    }

    void CenterOnScreen() override
    {
        if (!m_window) return;
        const HWND window = m_window.get();
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor))
            return;
        RECT frame{};
        ::GetWindowRect(window, &frame);
        const RECT& area = monitor.rcWork;
        const LONG width = frame.right - frame.left;
        const LONG height = frame.bottom - frame.top;
        const LONG x = area.left + std::max<LONG>(0, (area.right - area.left - width) / 2);
        const LONG y = area.top + std::max<LONG>(0, (area.bottom - area.top - height) / 2);
        ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void Show() override { ::ShowWindow(m_window.get(), SW_SHOW); }

    int RunModal() override
    {
        const HWND window = m_window.get();
        const HWND owner = ::GetWindow(window, GW_OWNER);
        const bool ownerWasEnabled = owner != nullptr && ::IsWindowEnabled(owner);
        if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
        ::ShowWindow(window, SW_SHOW);
        ::SetForegroundWindow(window);
        MSG message{};
        while (!EndRequested()) {
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
        return ModalResult();
    }

    // Wakes the modal loop, which then sees the request.
    void EndModal(int) override { ::PostMessageW(m_window.get(), WM_NULL, 0, 0); }

    void EnableItem(NativeWidget control, bool enable) override
    {
        if (m_greyed) {
            m_ownEnabled[control] = enable;  // applied when the window is no longer busy
            return;
        }
        ::EnableWindow(control, enable ? TRUE : FALSE);
    }
    bool IsItemEnabled(NativeWidget control) const override
    {
        // A busy window greys its controls; the answer is the control's own state.
        if (const auto own = m_ownEnabled.find(control); m_greyed && own != m_ownEnabled.end()) {
            return own->second;
        }
        return ::IsWindowEnabled(control) != FALSE;
    }
    void ShowItem(NativeWidget control, bool show) override
    {
        ::ShowWindow(control, show ? SW_SHOW : SW_HIDE);
    }
    bool IsItemShown(NativeWidget control) const override
    {
        return (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
    }
    void SetTitle(const std::string& title) override
    {
        ::SetWindowTextW(m_window.get(), base::Utf8ToWide(title).c_str());
    }

    void SetTimer(std::uintptr_t timerId, int milliseconds) override
    {
        // SetTimer with the id of a running timer replaces it.
        if (::SetTimer(m_window.get(), timerId, static_cast<UINT>(std::max(milliseconds, 0)),
                       nullptr) == 0) {
            throw std::runtime_error("Windows refused timer " + std::to_string(timerId) + ": " +
                                     settings::SystemMessage(::GetLastError()) + ".");
        }
        m_timers.insert(timerId);
    }

    void KillTimer(std::uintptr_t timerId) override
    {
        if (m_timers.erase(timerId) == 0) return;
        if (m_window) ::KillTimer(m_window.get(), timerId);
    }

    bool HasTimer(std::uintptr_t timerId) const override { return m_timers.count(timerId) != 0; }

    // A finished run reaches the window's thread as a private message posted to
    // the window; its procedure finishes the run.
    std::function<void()> BackgroundNotifier() override
    {
        const HWND window = m_window.get();
        return [window] { ::PostMessageW(window, kBackgroundRunDone, 0, 0); };
    }

    // A busy window disables every control (greyed, no clicks, no keys) and shows
    // the wait cursor; afterwards each control gets its own state back, and the
    // focus returns to the control that had it.
    void ShowBusy(bool busy) override
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
            ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_focusBeforeBusy),
                           TRUE);
        }
        m_focusBeforeBusy = nullptr;
        // The pointer takes the arrow back at once, not at its next move.
        POINT pointer{};
        if (::GetCursorPos(&pointer)) ::SetCursorPos(pointer.x, pointer.y);
    }

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(HWND window, UINT message, WPARAM wParam);

    std::unique_ptr<HWND__, DialogDestroyer> m_window;
    std::set<std::uintptr_t> m_timers;  // the ids of the running timers, which are Windows' ids
    // While busy, every control is disabled; here are their own states
    // (EnableItem during the run changes these), and the control that had the focus.
    bool m_greyed = false;
    std::map<HWND, bool> m_ownEnabled;
    HWND m_focusBeforeBusy = nullptr;
};

INT_PTR CALLBACK Win32DialogBackend::Procedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* backend = reinterpret_cast<Win32DialogBackend*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        backend->m_window.reset(window);
        OpenDialogs().push_back(window);
        for (const ControlTemplate& control : backend->Dialog().Template().controls) {
            if (control.id != kNoId)
                backend->ControlCreated(control.id, ::GetDlgItem(window, control.id));
        }
        RECT units{0, 0, 4, 8};
        ::MapDialogRect(window, &units);
        backend->SetBaseUnits(DialogBaseUnits{units.right, units.bottom});
        backend->Initialise();
        return TRUE;  // the dialog manager gives the first tab stop the focus
    }
    if (message == WM_NCDESTROY) {
        Forget(OpenDialogs(), window);
        return FALSE;
    }
    auto* backend = reinterpret_cast<Win32DialogBackend*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (backend == nullptr) return FALSE;
    try {
        return backend->Handle(window, message, wParam);
    } catch (...) {
        // Nothing may cross the system's code on its way back; the handler guard
        // has shown every std::exception already.
        backend->ReportUnexpectedError();
        return TRUE;
    }
}

INT_PTR Win32DialogBackend::Handle(HWND window, UINT message, WPARAM wParam)
{
    switch (message) {
        case WM_COMMAND:
            // Clicks, and Enter and Escape as IsDialogMessage turns them into
            // the default button's id and IDCANCEL; the close box comes as IDCANCEL.
            if (HIWORD(wParam) == BN_CLICKED) {
                Command(LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            Timer(static_cast<std::uintptr_t>(wParam));
            return TRUE;
        case kBackgroundRunDone:
            BackgroundRunReturned();
            return TRUE;
        case WM_SETCURSOR:
            // A busy window shows the wait cursor over all of it (its
            // controls are disabled, so the pointer's messages come here).
            if (!m_greyed) return FALSE;
            ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            ::SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::unique_ptr<DialogBackend> MakeDialogBackend(CDialog& dialog)
{
    return std::make_unique<Win32DialogBackend>(dialog);
}

}  // namespace korvane::framework
