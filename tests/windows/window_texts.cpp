// Lists the controls of another program's top-level window, found by its title,
// for the dialog run under Wine: one line per control, "class<TAB>id<TAB>shown or
// hidden<TAB>enabled or disabled<TAB>text", the text's line breaks as "\n".
// With "--click ID" it clicks that button instead (posted, so a modal dialog the
// click opens does not hold this program), as a person's click would.
// Exit status 1 when no visible window has that title.
#include <cstdio>
#include <cwchar>
#include <string>

#include "base/TextEncoding.h"

#include <windows.h>

namespace {

using korvane::base::WideToUtf8;

std::string Escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM)
{
    std::wstring name(256, L'\0');
    name.resize(static_cast<std::size_t>(::GetClassNameW(control, name.data(), 256)));
    // WM_GETTEXT crosses into the other process for the system's controls.
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    std::printf("%s\t%d\t%s\t%s\t%s\n", WideToUtf8(name).c_str(), ::GetDlgCtrlID(control),
                (style & WS_VISIBLE) ? "shown" : "hidden",
                ::IsWindowEnabled(control) ? "enabled" : "disabled",
                Escaped(WideToUtf8(text)).c_str());
    return TRUE;
}

struct Search {
    std::wstring title;
    HWND found = nullptr;
};

BOOL CALLBACK FindByTitle(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<Search*>(data);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    if (::IsWindowVisible(window) && text == search->title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool click = argc == 4 && std::wcscmp(argv[2], L"--click") == 0;
    if (argc != 2 && !click) {
        std::fprintf(stderr, "usage: window_texts TITLE [--click ID]\n");
        return 2;
    }
    Search search{argv[1]};
    ::EnumWindows(&FindByTitle, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return 1;
    if (click) {
        const HWND button =
            ::GetDlgItem(search.found, static_cast<int>(std::wcstol(argv[3], nullptr, 10)));
        return button != nullptr && ::PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
    }
    ::EnumChildWindows(search.found, &PrintControl, 0);
    return 0;
}
