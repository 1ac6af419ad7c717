// Process entry of STM32_Korvane on Windows: the start options (read as on
// Linux), the common controls, then the application object's one modal run of
// the main window; the process ends with it.
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "app/CSTM32_KorvaneApp.h"
#include "app/StartOptions.h"
#include "base/TextEncoding.h"
#include "framework/ModalHost.h"

// After our headers: it takes back macros that would rename their names.
#include "framework/Win32Api.h"

#include <shellapi.h>

namespace {

constexpr int kExitUsage = 2;

// The arguments after the program's name, as UTF-8, from the wide command line.
std::vector<std::string> CommandLineArguments()
{
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return args;
    for (int i = 1; i < count; ++i) args.push_back(korvane::base::WideToUtf8(wide[i]));
    ::LocalFree(wide);
    return args;
}

// A window program has no console: its help and its refusals come in a box.
void Tell(const std::string& text, UINT icon)
{
    ::MessageBoxW(nullptr, korvane::base::Utf8ToWide(text).c_str(),
                  korvane::base::Utf8ToWide(korvane::framework::ApplicationName()).c_str(),
                  MB_OK | icon);
}

}  // namespace

int main()
{
    korvane::app::UseCatalogueOfProgramFolder();
    const std::vector<std::string> args = CommandLineArguments();
    const korvane::app::StartOptions options =
        korvane::app::ParseStartOptions(std::vector<std::string_view>(args.begin(), args.end()));
    switch (options.action) {
        case korvane::app::StartOptions::Action::Help:
            Tell(korvane::app::UsageText(), MB_ICONINFORMATION);
            return 0;
        case korvane::app::StartOptions::Action::Refuse:
            Tell(options.refusal, MB_ICONERROR);
            return kExitUsage;
        case korvane::app::StartOptions::Action::Run:
            break;
    }

    // Buttons, texts, edits, the drop-down list and the progress bar, drawn by
    // common controls 6 (the manifest asks for them).
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);
    try {
        // Built here, after the common controls: the main window object loads
        // Sys.dat before any window exists.
        korvane::app::CSTM32_KorvaneApp theApp(options.service, korvane::app::JobPacing(options));
        theApp.InitInstance();
    } catch (const std::exception& error) {
        // Only a window that cannot be created gets here: say so, then end.
        Tell(error.what(), MB_ICONERROR);
        return 1;
    }
    return 0;
}
