// The real modal host on Windows: MessageBoxW, the common file-open dialog and
// nested modal runs; and the conversions these need.
#include <filesystem>
#include <stdexcept>

#include "base/TextEncoding.h"
#include "framework/CDialog.h"
#include "framework/Win32Dialog.h"

// After our headers: it takes back macros that would rename their names.
#include "framework/Win32Api.h"

namespace korvane::framework {

namespace {

// Room for the chosen files' names. The common dialog cannot grow the buffer
// while it is open; a choice that needs more is reported, not cut.
constexpr DWORD kFileNamesCapacity = 64 * 1024;

UINT IconStyle(MessageIcon icon)
{
    switch (icon) {
        case MessageIcon::Exclamation:
            return MB_ICONEXCLAMATION;
        case MessageIcon::Question:
            return MB_ICONQUESTION;
        case MessageIcon::Information:
            return MB_ICONINFORMATION;
        case MessageIcon::None:
            break;
    }
    return 0;
}

}  // namespace

int Win32ModalHost::ShowMessage(NativeWidget owner, const std::string& text,
                                const std::string& caption, MessageButtons buttons,
                                MessageIcon icon)
{
    const UINT style =
        (buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK) | IconStyle(icon);
    const int answer = ::MessageBoxW(owner, base::Utf8ToWide(text).c_str(),
                                     base::Utf8ToWide(caption).c_str(), style);
    return answer == IDOK ? framework::IDOK : framework::IDCANCEL;
}

std::vector<std::string> Win32ModalHost::GetOpenFileNames(const FileOpenRequest& request)
{
    const std::wstring filter = ConvertFileFilterForWin32(request.filter);
    const std::wstring extension = base::Utf8ToWide(request.defaultExtension);
    std::wstring names(kFileNamesCapacity, L'\0');
    const std::wstring initial = base::Utf8ToWide(request.initialName);
    std::copy_n(initial.begin(), std::min<std::size_t>(initial.size(), names.size() - 1),
                names.begin());

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    // The innermost of the framework's windows owns it, so it stays on top.
    dialog.hwndOwner = ::GetActiveWindow();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = names.data();
    dialog.nMaxFile = kFileNamesCapacity;
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                   (request.multiSelect ? OFN_ALLOWMULTISELECT : 0);
    if (::GetOpenFileNameW(&dialog)) return SplitOpenFileNames(names);
    if (::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) {
        throw std::runtime_error(
            "Too many files were chosen at once for the file dialog to return; choose one file.");
    }
    return {};  // cancelled
}

int Win32ModalHost::RunModal(CDialog& dialog)
{
    return dialog.DoModal();
}

ModalHost& DefaultModalHost()
{
    static Win32ModalHost host;
    return host;
}

std::wstring ConvertFileFilterForWin32(const std::string& filter)
{
    // Each '|' ends a description or a pattern list; the common dialog wants
    // a zero there and one more at the end.
    std::wstring converted = base::Utf8ToWide(filter);
    while (!converted.empty() && converted.back() == L'|') converted.pop_back();
    if (converted.empty()) return std::wstring(L"All files\0*.*\0", 14) + L'\0';
    for (wchar_t& unit : converted) {
        if (unit == L'|') unit = L'\0';
    }
    converted += L'\0';
    converted += L'\0';
    return converted;
}

std::vector<std::string> SplitOpenFileNames(const std::wstring& buffer)
{
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start < buffer.size() && buffer[start] != L'\0') {
        const std::size_t end = buffer.find(L'\0', start);
        const std::size_t stop = end == std::wstring::npos ? buffer.size() : end;
        parts.push_back(buffer.substr(start, stop - start));
        start = stop + 1;
    }
    std::vector<std::string> files;
    if (parts.size() == 1) {
        files.push_back(base::WideToUtf8(parts.front()));
    } else if (parts.size() > 1) {
        const std::filesystem::path folder(parts.front());
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::wstring path = (folder / parts[i]).wstring();
            files.push_back(base::WideToUtf8(path));
        }
    }
    return files;
}

std::string ApplicationName()
{
    // The executable's name without its extension, as the framework's own
    // message boxes name the program.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return base::WideToUtf8(std::filesystem::path(path).stem().wstring());
}

}  // namespace korvane::framework
