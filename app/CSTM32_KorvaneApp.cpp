// The application object's start-up.
#include "app/CSTM32_KorvaneApp.h"

namespace korvane::app {

CSTM32_KorvaneApp::CSTM32_KorvaneApp() : m_dlgMain(m_settings) {}

bool CSTM32_KorvaneApp::InitInstance()
{
    m_dlgMain.DoModal();  // the result tells nothing the program acts on
    return false;
}

}  // namespace korvane::app
