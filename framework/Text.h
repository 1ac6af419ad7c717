// Text at the Qt boundary: the program keeps UTF-8 std::string, Qt wants QString.
#pragma once

#include <QString>
#include <filesystem>
#include <string>

#include "settings/TextEncoding.h"

namespace korvane::framework {

inline QString ToQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQString(const QString& text)
{
    return text.toUtf8().toStdString();
}

// Paths travel as UTF-8 through the dialogs; the conversions are the core's own.
using settings::PathToUtf8;
inline std::filesystem::path PathFromUtf8(const std::string& text)
{
    return settings::Utf8ToPath(text);
}

}  // namespace korvane::framework
