// The handles the dialog layer hands out, named once for both backends: Qt
// widgets on Linux, window handles on Windows (KORVANE_FRAMEWORK_WIN32, set by
// the build). Code above framework/ passes them on and never looks inside.
#pragma once

#if defined(KORVANE_FRAMEWORK_WIN32)

struct HWND__;
struct HFONT__;

namespace korvane::framework {

using NativeDialog = HWND__*;  // a dialog window
using NativeWidget = HWND__*;  // a control, or a message box's owner
using NativeFont = HFONT__*;

}  // namespace korvane::framework

#else

class QDialog;
class QFont;
class QWidget;

namespace korvane::framework {

using NativeDialog = QDialog*;
using NativeWidget = QWidget*;
using NativeFont = QFont;

}  // namespace korvane::framework

#endif

namespace korvane::framework {

// A dialog window as a widget: the owner of the message boxes it shows.
NativeWidget WidgetOf(NativeDialog dialog);

}  // namespace korvane::framework
