// The Win32 headers as the framework's Win32 files include them: after them, the
// macros that would rename our own members (MessageBox, SetWindowText, ...) or
// our command ids (IDOK, IDCANCEL) are taken back; the wide functions are called
// by their W names.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#undef MessageBox
#undef SetWindowText
#undef GetWindowText
#undef SetDlgItemText
#undef GetDlgItemText
#undef IDOK
#undef IDCANCEL
