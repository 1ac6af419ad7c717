// The application object's start-up.
#include "app/CSTM32_KorvaneApp.h"

namespace korvane::app {

namespace {

ui::KorvaneSeams StartSeams(bool service, firmware::Pacing pacing)
{
    ui::KorvaneSeams seams;
    seams.service = service;
    seams.pacing = pacing;
    return seams;
}

}  // namespace

CSTM32_KorvaneApp::CSTM32_KorvaneApp(bool service, firmware::Pacing pacing)
    : m_dlgMain(m_settings, StartSeams(service, pacing))
{
}

bool CSTM32_KorvaneApp::InitInstance()
{
    m_dlgMain.DoModal();  // the result tells nothing the program acts on
    return false;
}

}  // namespace korvane::app
