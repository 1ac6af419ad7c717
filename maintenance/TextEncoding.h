// The text conversions live once, in settings/TextEncoding.h; maintenance code
// names them without qualification.
#pragma once

#include "settings/TextEncoding.h"

namespace korvane::maintenance {

using settings::PathToUtf8;
using settings::Utf8ToPath;
using settings::Utf8ToWide;
using settings::WideToUtf8;

}  // namespace korvane::maintenance
