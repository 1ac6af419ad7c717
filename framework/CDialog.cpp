// The parts of CDialog that do not depend on the window system, compiled with
// either backend: the window's life, the message table's dispatch, the handler
// guard, controls by id through CWnd, data exchange, message boxes through the
// host, and the background run's bookkeeping. The DialogBackend of the build
// (CDialog_qt.cpp, CDialog_win32.cpp) gives the windows, timers, the busy look
// and the way a finished run reaches the window's thread.
#include <algorithm>
#include <exception>
#include <stdexcept>
#include <thread>

#include "error/Error.h"
#include "framework/CDialog.h"

namespace korvane::framework {

// A running background run: its thread, its stop request, and what it left.
struct CDialog::BackgroundRun {
    std::thread thread;
    std::atomic<bool> stop{false};
    std::exception_ptr error;
    std::function<void()> done;
};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    pDX->m_pDlgWnd->BindControl(id, control);
}

void DialogBackend::Initialise()
{
    m_dialog.Guarded([this] { m_dialog.OnInitDialog(); });
}

void DialogBackend::ControlCreated(int id, NativeWidget control)
{
    if (id != kNoId) m_dialog.m_controls[id] = control;
}

void DialogBackend::SetBaseUnits(const DialogBaseUnits& units)
{
    m_dialog.m_baseUnits = units;
}

void DialogBackend::Command(int id)
{
    m_dialog.DispatchCommand(id);
}

void DialogBackend::Timer(std::uintptr_t timerId)
{
    m_dialog.DispatchTimer(timerId);
}

void DialogBackend::BackgroundRunReturned()
{
    m_dialog.FinishBackgroundRun();
}

void DialogBackend::ReportUnexpectedError()
{
    m_dialog.ReportHandlerError("An unexpected error ended the last action.");
}

bool DialogBackend::EndRequested() const
{
    return m_dialog.m_endRequested;
}

int DialogBackend::ModalResult() const
{
    return m_dialog.m_modalResult;
}

CDialog::CDialog(const DialogTemplate& dialogTemplate, ModalHost* host)
    : m_template(dialogTemplate),
      m_host(host != nullptr ? host : &DefaultModalHost()),
      m_backend(MakeDialogBackend(*this))
{
}

CDialog::~CDialog()
{
    // A background run ends before anything it might be waiting on goes.
    EndBackgroundRun();
    ReleaseWindow(false);  // the bound members of a derived dialog are gone already
}

NativeDialog CDialog::Window() const
{
    return m_backend->Window();
}

int CDialog::DoModal()
{
    CreateWindowFromTemplate();
    int result = m_modalResult;
    if (!m_endRequested && Window() != nullptr) {
        m_backend->CenterOnScreen();
        result = m_backend->RunModal();
    }
    DestroyWindow();
    return result;
}

void CDialog::Create(bool show)
{
    CreateWindowFromTemplate();
    m_backend->CenterOnScreen();
    if (show && !m_endRequested && Window() != nullptr) m_backend->Show();
}

void CDialog::CreateWindowFromTemplate()
{
    DestroyWindow();
    m_endRequested = false;
    m_modalResult = IDCANCEL;
    m_backend->CreateAndInitialise();
}

void CDialog::DestroyWindow()
{
    if (Window() == nullptr) return;
    EndBackgroundRun();
    OnDestroy();
    ReleaseWindow(true);
}

// Owned windows go first, as they would with their owner; then this one. A
// modal run of this window ends with it.
void CDialog::ReleaseWindow(bool detachControls)
{
    if (Window() == nullptr) return;
    m_backend->DestroyOwnedWindows();
    if (detachControls) {
        for (CWnd* control : m_boundControls) control->Attach(nullptr);
    }
    m_boundControls.clear();
    m_controls.clear();
    m_backend->Destroy();
    m_endRequested = true;
}

void CDialog::EndDialog(int result)
{
    m_endRequested = true;
    m_modalResult = result;
    if (Window() != nullptr) m_backend->EndModal(result);
}

void CDialog::Guarded(const std::function<void()>& action)
{
    // Neither Qt's event loop nor the system's dialog procedure can carry an
    // exception: an error that leaves a handler is shown here, and the program
    // goes on, with the hint of one of our errors under its message.
    try {
        action();
    } catch (const std::exception& error) {
        ReportHandlerError(korvane::MessageWithHint(error));
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
    if (IsBusy()) return;  // no command while a background run is on
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

NativeWidget CDialog::GetDlgItem(int id) const
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
    CWnd control;
    control.Attach(GetDlgItem(id));
    control.SetWindowText(text);
}

std::string CDialog::GetDlgItemText(int id) const
{
    CWnd control;
    control.Attach(GetDlgItem(id));
    return control.GetWindowText();
}

void CDialog::EnableItem(int id, bool enable)
{
    m_backend->EnableItem(GetDlgItem(id), enable);
}

bool CDialog::IsItemEnabled(int id) const
{
    return m_backend->IsItemEnabled(GetDlgItem(id));
}

void CDialog::ShowItem(int id, bool show)
{
    m_backend->ShowItem(GetDlgItem(id), show);
}

bool CDialog::IsItemShown(int id) const
{
    return m_backend->IsItemShown(GetDlgItem(id));
}

void CDialog::SetWindowText(const std::string& title)
{
    m_template.title = title;
    if (Window() != nullptr) m_backend->SetTitle(title);
}

std::string CDialog::GetWindowText() const
{
    return m_template.title;
}

void CDialog::SetTimer(std::uintptr_t timerId, int milliseconds)
{
    if (Window() == nullptr) throw std::logic_error("a timer needs the dialog's window");
    m_backend->SetTimer(timerId, milliseconds);
}

void CDialog::KillTimer(std::uintptr_t timerId)
{
    m_backend->KillTimer(timerId);
}

bool CDialog::HasTimer(std::uintptr_t timerId) const
{
    return m_backend->HasTimer(timerId);
}

int CDialog::AfxMessageBox(const std::string& text)
{
    return MessageBox(text, ApplicationName(), MessageButtons::Ok, MessageIcon::Exclamation);
}

int CDialog::MessageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                        MessageIcon icon)
{
    return m_host->ShowMessage(WidgetOf(Window()), text, caption, buttons, icon);
}

void CDialog::RunInBackground(BackgroundWork work, std::function<void()> done)
{
    if (Window() == nullptr) throw std::logic_error("a background run needs the dialog's window");
    if (IsBusy()) throw std::logic_error("a background run is already on");
    auto run = std::make_unique<BackgroundRun>();
    run->done = std::move(done);
    BackgroundRun* state = run.get();
    // The window outlives the thread (it waits for the thread before it goes),
    // so the notice always has its receiver.
    std::function<void()> notify = m_backend->BackgroundNotifier();
    m_background = std::move(run);
    m_backend->ShowBusy(true);
    try {
        state->thread = std::thread([state, notify = std::move(notify), work = std::move(work)] {
            try {
                work(state->stop);
            } catch (...) {
                state->error = std::current_exception();
            }
            notify();
        });
    } catch (...) {
        m_background.reset();
        m_backend->ShowBusy(false);
        throw;
    }
}

void CDialog::FinishBackgroundRun()
{
    if (!m_background) return;
    m_background->thread.join();
    const std::unique_ptr<BackgroundRun> run = std::move(m_background);
    m_backend->ShowBusy(false);
    Guarded([&run] {
        if (run->error) std::rethrow_exception(run->error);
        if (run->done) run->done();
    });
}

void CDialog::EndBackgroundRun()
{
    if (!m_background) return;
    m_background->stop = true;
    m_background->thread.join();
    m_background.reset();
    m_backend->ShowBusy(false);
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
