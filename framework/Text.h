// Text at the backend's boundary: the program keeps UTF-8 std::string; Qt wants
// QString, Win32 wants UTF-16 (base::Utf8ToWide and base::WideToUtf8). Paths travel
// as UTF-8 on both.
#pragma once

#include <filesystem>
#include <string>

#include "base/TextEncoding.h"

#if !defined(KORVANE_FRAMEWORK_WIN32)
#include <QString>
#endif

namespace korvane::framework {

#if !defined(KORVANE_FRAMEWORK_WIN32)
inline QString ToQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQString(const QString& text)
{
    return text.toUtf8().toStdString();
}
#endif

// Paths travel as UTF-8 through the dialogs; the conversions are the core's own.
using base::PathToUtf8;
inline std::filesystem::path PathFromUtf8(const std::string& text)
{
    return base::Utf8ToPath(text);
}

}  // namespace korvane::framework
