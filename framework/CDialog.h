// A dialog built from a template table: controls addressed by numeric id, a static
// message table, window timers, modal runs, message boxes, and the handler guard
// that shows an escaping error in a message box and lets the program go on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/DialogBackend.h"
#include "framework/DialogTemplate.h"
#include "framework/ModalHost.h"
#include "framework/NativeTypes.h"

namespace korvane::framework {

class CDialog;

// The data-exchange context handed to DoDataExchange.
struct CDataExchange {
    bool m_bSaveAndValidate = false;
    CDialog* m_pDlgWnd = nullptr;
};

// Binds `control` to the dialog's control with `id`.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// One row of a message table: a click of control `id`, or the timer message.
struct MessageMapEntry {
    enum class Kind { Clicked, Timer };
    Kind kind;
    int id;  // the control id; unused for the timer
    std::function<void(CDialog&, std::uintptr_t)> call;
};
using MessageMap = std::vector<MessageMapEntry>;

template <class Dialog>
MessageMapEntry OnClicked(int id, void (Dialog::*handler)())
{
    return {MessageMapEntry::Kind::Clicked, id, [handler](CDialog& dialog, std::uintptr_t) {
                (static_cast<Dialog&>(dialog).*handler)();
            }};
}

template <class Dialog>
MessageMapEntry OnClicked(int id, void (Dialog::*handler)(int))
{
    return {MessageMapEntry::Kind::Clicked, id, [handler, id](CDialog& dialog, std::uintptr_t) {
                (static_cast<Dialog&>(dialog).*handler)(id);
            }};
}

template <class Dialog>
MessageMapEntry OnTimerMessage(void (Dialog::*handler)(std::uintptr_t))
{
    return {MessageMapEntry::Kind::Timer, 0, [handler](CDialog& dialog, std::uintptr_t timerId) {
                (static_cast<Dialog&>(dialog).*handler)(timerId);
            }};
}

class CDialog {
public:
    // `host` null: the process's real host. The window exists only while the
    // dialog runs (DoModal) or after Create.
    explicit CDialog(const DialogTemplate& dialogTemplate, ModalHost* host = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Window placement and ownership, as a dialog manager does them: the frame
    // is centred on the screen but kept inside its available area (a window
    // larger than the area keeps its title bar at the area's top left); a
    // dialog whose window is created while other dialogs' windows exist is
    // owned by the newest of them (no taskbar entry of its own, destroyed
    // with its owner); an empty title shows no title, not the program's name.
    // Creates the window, initialises it, runs it modally, destroys it.
    int DoModal();
    // Creates the window and initialises it without a modal run (the window
    // stays until DestroyWindow or the object goes); shows it when asked.
    void Create(bool show);
    void DestroyWindow();
    void EndDialog(int result);

    // Runs the handler of a command (a click of control `id`, or OK/Cancel) under
    // the handler guard, as a click or key would.
    void DispatchCommand(int id);
    void DispatchTimer(std::uintptr_t timerId);

    NativeDialog Window() const;
    const DialogTemplate& Template() const { return m_template; }
    ModalHost& Host() const { return *m_host; }
    const DialogBaseUnits& BaseUnits() const { return m_baseUnits; }

    // Controls by id. An id the template lacks throws std::logic_error.
    NativeWidget GetDlgItem(int id) const;
    // Attaches `control` to the control with `id` until the window goes.
    void BindControl(int id, CWnd& control);
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;
    void EnableItem(int id, bool enable);
    bool IsItemEnabled(int id) const;  // the control's own enabled state
    void ShowItem(int id, bool show);
    bool IsItemShown(int id) const;  // the control's own shown state
    void SetWindowText(const std::string& title);
    std::string GetWindowText() const;

    // Window timers: a running timer of the same id is replaced.
    void SetTimer(std::uintptr_t timerId, int milliseconds);
    void KillTimer(std::uintptr_t timerId);
    bool HasTimer(std::uintptr_t timerId) const;

    // OK only, exclamation icon, the application's name as caption.
    int AfxMessageBox(const std::string& text);
    int MessageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                   MessageIcon icon);

    // Runs DoDataExchange; `saveAndValidate` says the direction.
    bool UpdateData(bool saveAndValidate);

    // Work that must not hold the window's thread (a script, adb). `work` runs
    // on a thread of its own; once it has returned, `done` runs on the window's
    // thread, from its event loop, under the handler guard. Until then the
    // window stays alive (it repaints, its timers run) and shows that it is
    // busy (wait cursor, controls greyed), and it takes no command: clicks,
    // Enter, Escape and the close box are refused, as DispatchCommand is. An
    // exception leaving `work` is shown on the window's thread as a handler
    // error, and `done` is not called. One run at a time: a second call during
    // a run throws std::logic_error, as does a call without a window. When the
    // window goes during a run (DestroyWindow, the destructor), `stop` turns
    // true, the window waits for `work` to return, and `done` is dropped; so
    // `work` must watch `stop` and must not touch the dialog (it gets copies).
    // The backend brings the end of the run to the window's thread: Qt queues
    // it to the window's object, Win32 posts a private message to the dialog.
    using BackgroundWork = std::function<void(const std::atomic<bool>& stop)>;
    void RunInBackground(BackgroundWork work, std::function<void()> done);
    bool IsBusy() const { return m_background != nullptr; }

protected:
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    // Called while the window still exists, right before it is destroyed.
    virtual void OnDestroy() {}
    virtual const MessageMap& GetMessageMap() const;

    // Shows an error that left a handler; the program goes on.
    void ReportHandlerError(const std::string& description);

private:
    // The backend reaches the dialog through DialogBackend's own members only.
    friend class DialogBackend;
    struct BackgroundRun;
    void FinishBackgroundRun();
    void EndBackgroundRun();
    void ReleaseWindow(bool detachControls);
    void CreateWindowFromTemplate();
    void Guarded(const std::function<void()>& action);

    DialogTemplate m_template;
    ModalHost* m_host;
    std::map<int, NativeWidget> m_controls;
    DialogBaseUnits m_baseUnits;
    std::vector<CWnd*> m_boundControls;
    bool m_endRequested = false;
    int m_modalResult = IDCANCEL;
    std::unique_ptr<BackgroundRun> m_background;
    // The window and everything of the window system.
    std::unique_ptr<DialogBackend> m_backend;
};

}  // namespace korvane::framework
