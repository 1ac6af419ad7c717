// The application object's start-up.
#include "app/CSTM32_KorvaneApp.h"

namespace korvane::app {

namespace {

ui::KorvaneSeams StartSeams(bool service)
{
    ui::KorvaneSeams seams;
    seams.service = service;
    return seams;
}

}  // namespace

CSTM32_KorvaneApp::CSTM32_KorvaneApp(bool service) : m_dlgMain(m_settings, StartSeams(service)) {}

bool CSTM32_KorvaneApp::InitInstance()
{
    m_dlgMain.DoModal();  // the result tells nothing the program acts on
    return false;
}

}  // namespace korvane::app
