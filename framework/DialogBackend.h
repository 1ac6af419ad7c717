// The window system's side of a CDialog, one implementation per backend
// (CDialog_qt.cpp, CDialog_win32.cpp): the window and its controls, the modal
// run, timers, the busy look, and the way a finished background run reaches
// the window's thread. The dialog keeps everything the backends share.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/NativeTypes.h"

namespace korvane::framework {

class CDialog;
struct DialogBaseUnits;

class DialogBackend {
public:
    virtual ~DialogBackend() = default;
    DialogBackend(const DialogBackend&) = delete;
    DialogBackend& operator=(const DialogBackend&) = delete;

    // The window, or null while there is none.
    virtual NativeDialog Window() const = 0;
    // Creates the window and its controls from the dialog's template, owned by
    // the newest of the framework's windows, and initialises the dialog.
    virtual void CreateAndInitialise() = 0;
    // Destroys the windows this one owns (with their dialogs' own clean-up),
    // then this one with its timers. The controls are gone afterwards.
    virtual void DestroyOwnedWindows() = 0;
    virtual void Destroy() = 0;
    // Centres the frame in the screen's available area, keeping it inside.
    virtual void CenterOnScreen() = 0;
    virtual void Show() = 0;
    // Runs the window modally until the dialog ends; returns the dialog's result.
    virtual int RunModal() = 0;
    // The dialog asked to end with `result`: wakes the modal run.
    virtual void EndModal(int result) = 0;

    virtual void EnableItem(NativeWidget control, bool enable) = 0;
    virtual bool IsItemEnabled(NativeWidget control) const = 0;
    virtual void ShowItem(NativeWidget control, bool show) = 0;
    virtual bool IsItemShown(NativeWidget control) const = 0;
    virtual void SetTitle(const std::string& title) = 0;

    // A running timer of the same id is replaced.
    virtual void SetTimer(std::uintptr_t timerId, int milliseconds) = 0;
    virtual void KillTimer(std::uintptr_t timerId) = 0;
    virtual bool HasTimer(std::uintptr_t timerId) const = 0;

    // A call the run's thread makes when its work has returned, which brings
    // the end of the run to the window's thread.
    virtual std::function<void()> BackgroundNotifier() = 0;
    // Greys the window and refuses its input while busy; the controls' own
    // states are kept.
    virtual void ShowBusy(bool busy) = 0;

protected:
    explicit DialogBackend(CDialog& dialog) : m_dialog(dialog) {}
    CDialog& Dialog() const { return m_dialog; }

    // What the window tells its dialog.
    void Initialise();
    void ControlCreated(int id, NativeWidget control);
    void SetBaseUnits(const DialogBaseUnits& units);
    void Command(int id);
    void Timer(std::uintptr_t timerId);
    void BackgroundRunReturned();
    void ReportUnexpectedError();
    bool EndRequested() const;
    int ModalResult() const;

private:
    CDialog& m_dialog;
};

// The backend the build chose, for `dialog`.
std::unique_ptr<DialogBackend> MakeDialogBackend(CDialog& dialog);

}  // namespace korvane::framework
