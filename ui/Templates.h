// The two dialog templates of the program: the main window (102) and the
// precautions form (130).
#pragma once

#include "framework/DialogTemplate.h"

namespace korvane::ui {

#if defined(_WIN32)
// The templates' own face; Windows maps it to the system's dialog font.
inline constexpr const char* kDialogFontFamily = "MS Shell Dlg";
#else
// A face with Chinese glyphs, at the sizes of the templates' "MS Shell Dlg".
inline constexpr const char* kDialogFontFamily = "WenQuanYi Micro Hei";
#endif

// Qt resource paths of the two pictures of the precautions form.
inline constexpr const char* kPicture1Resource = ":/bitmaps/131.bmp";
inline constexpr const char* kPicture2Resource = ":/bitmaps/1044.bmp";

const framework::DialogTemplate& MainWindowTemplate();
// The main window for a service start (STM32_Korvane --service): template 102
// with the firmware-upgrade and APN controls shown, enabled and laid out
// beside the driver group, in a wider window. The K305M group stays hidden.
const framework::DialogTemplate& ServiceWindowTemplate();
const framework::DialogTemplate& PrecautionsTemplate();

}  // namespace korvane::ui
