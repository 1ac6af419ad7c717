// Process entry of STM32_Korvane on Windows: the common controls, then the
// application object's one modal run of the main window; the process ends with it.
#include <exception>
#include <string>

#include "app/CSTM32_KorvaneApp.h"
#include "framework/ModalHost.h"
#include "framework/WideText.h"

// After our headers: it takes back macros that would rename their names.
#include "framework/Win32Api.h"

int main()
{
    // Buttons, texts, edits, the drop-down list and the progress bar, drawn by
    // common controls 6 (the manifest asks for them).
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);
    try {
        // Built here, after the common controls: the main window object loads
        // Sys.dat before any window exists.
        korvane::app::CSTM32_KorvaneApp theApp;
        theApp.InitInstance();
    } catch (const std::exception& error) {
        // Only a window that cannot be created gets here: say so, then end.
        ::MessageBoxW(nullptr, korvane::framework::ToWide(error.what()).c_str(),
                      korvane::framework::ToWide(korvane::framework::ApplicationName()).c_str(),
                      MB_OK | MB_ICONERROR);
        return 1;
    }
    return 0;
}
