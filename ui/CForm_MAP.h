// The precautions form: a read-only notice on installing the USB driver and on
// running the programming software, shown before the main window at every start.
#pragma once

#include "framework/CDialog.h"

namespace korvane::ui {

class CForm_MAP : public framework::CDialog {
public:
    static constexpr int IDD = 130;

    // No buttons: Escape and the close box end it as Cancel, Enter as OK.
    explicit CForm_MAP(framework::ModalHost* host = nullptr);
};

}  // namespace korvane::ui
