// Dialog templates as tables: each control with its id, kind, caption, states and
// place in dialog units, and the conversion of dialog units to pixels for a font.
#pragma once

#include <string>
#include <vector>

#include "framework/NativeTypes.h"

namespace korvane::framework {

// A control without an id of its own.
constexpr int kNoId = -1;

enum class ControlKind {
    PushButton,
    DefPushButton,
    TextLeft,
    TextCentre,
    TextRight,
    Edit,
    DropDownList,
    ProgressBar,
    GroupBox,
    Picture,        // caption: the bitmap's resource path; its file name is its
                    // resource number (":/bitmaps/131.bmp" is bitmap 131)
    SerialControl,  // placeholder of the serial control: exists, draws nothing
};

struct ControlTemplate {
    int id = kNoId;
    ControlKind kind = ControlKind::TextLeft;
    std::string caption;
    bool shown = true;
    bool enabled = true;
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    bool tabStop = false;
};

struct DialogTemplate {
    int id = 0;
    std::string title;
    int width = 0, height = 0;  // dialog units, client area
    std::string fontFamily;
    int pointSize = 9;
    bool sizingBorder = false;
    std::vector<ControlTemplate> controls;
};

// Dialog base units of a font: the average width of the Latin letters and the
// line height, as the dialog manager measures them.
struct DialogBaseUnits {
    int averageWidth = 0;
    int height = 0;

    int ToPixelsX(int dialogUnits) const { return (dialogUnits * averageWidth + 2) / 4; }
    int ToPixelsY(int dialogUnits) const { return (dialogUnits * height + 4) / 8; }
};

DialogBaseUnits MeasureDialogBaseUnits(const NativeFont& font);

}  // namespace korvane::framework
