// The handles the dialog layer hands out, named once for both backends: Qt
// widgets on Linux, window handles on Windows (KORVANE_FRAMEWORK_WIN32, set by
// the build). Code above framework/ passes them on and never looks inside.
#pragma once

#include <memory>

#if defined(KORVANE_FRAMEWORK_WIN32)

struct HWND__;
struct HFONT__;

namespace korvane::framework {

using NativeDialog = HWND__*;  // a dialog window
using NativeWidget = HWND__*;  // a control, or a message box's owner
using NativeFont = HFONT__*;

// Destroys a dialog window the framework created.
struct DialogDestroyer {
    void operator()(HWND__* window) const;
};
using DialogOwner = std::unique_ptr<HWND__, DialogDestroyer>;

}  // namespace korvane::framework

#else

class QDialog;
class QFont;
class QWidget;

namespace korvane::framework {

using NativeDialog = QDialog*;
using NativeWidget = QWidget*;
using NativeFont = QFont;

// Deletes a dialog window the framework created (declared here, so that code
// holding one needs no Qt header).
struct DialogDestroyer {
    void operator()(QDialog* window) const;
};
using DialogOwner = std::unique_ptr<QDialog, DialogDestroyer>;

}  // namespace korvane::framework

#endif

namespace korvane::framework {

// A dialog window as a widget: the owner of the message boxes it shows.
NativeWidget WidgetOf(NativeDialog dialog);

}  // namespace korvane::framework
