// Pieces of the Win32 backend that tests look at: the in-memory dialog
// template, the file-open dialog's filter and result, and the real modal host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/DialogTemplate.h"
#include "framework/ModalHost.h"

namespace korvane::framework {

// The window class and style a control kind becomes in a dialog template.
struct Win32ControlClass {
    std::uint16_t atom;       // predefined class atom, or 0 when `name` is used
    const wchar_t* name;      // registered class name for the common controls
    std::uint32_t kindStyle;  // the kind's own style bits (BS_*, SS_*, ES_*, CBS_*)
};
Win32ControlClass ControlClassOf(ControlKind kind);

// The style word of one control: WS_CHILD, the kind's style, and WS_VISIBLE,
// WS_DISABLED and WS_TABSTOP from the table.
std::uint32_t ControlStyleOf(const ControlTemplate& control);

// The bitmap resource a picture control shows: the number its caption's file
// name carries (":/bitmaps/131.bmp" is 131); 0 when there is none.
std::uint16_t PictureResourceOf(const std::string& caption);

// The template as DLGTEMPLATEEX followed by its DLGITEMTEMPLATEEX items, ready
// for CreateDialogIndirectParamW. The window starts hidden; the framework
// shows it after initialisation.
std::vector<std::uint16_t> BuildDialogTemplateEx(const DialogTemplate& dialogTemplate);

// "BIN files (*.bin)|*.bin|All files|*.*||" as the common dialog's
// double-zero-terminated list of description and pattern pairs.
std::wstring ConvertFileFilterForWin32(const std::string& filter);

// The common dialog's answer as full paths: one path, or (several files chosen)
// the folder followed by the names, each ended by a zero, the list by two.
std::vector<std::string> SplitOpenFileNames(const std::wstring& buffer);

// The host that shows real Win32 dialogs to a person.
class Win32ModalHost : public ModalHost {
public:
    int ShowMessage(NativeWidget owner, const std::string& text, const std::string& caption,
                    MessageButtons buttons, MessageIcon icon) override;
    std::vector<std::string> GetOpenFileNames(const FileOpenRequest& request) override;
    int RunModal(CDialog& dialog) override;
};

}  // namespace korvane::framework
