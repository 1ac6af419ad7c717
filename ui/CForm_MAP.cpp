// The precautions form over template 130; the framework's default handling does the rest.
#include "ui/CForm_MAP.h"

#include "ui/Templates.h"

namespace korvane::ui {

CForm_MAP::CForm_MAP(framework::ModalHost* host) : framework::CDialog(PrecautionsTemplate(), host)
{
}

}  // namespace korvane::ui
