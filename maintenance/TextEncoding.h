// The text conversions live once, in settings/TextEncoding.h; maintenance code
// names them without qualification.
#pragma once

#include "base/TextEncoding.h"

namespace korvane::maintenance {

using base::PathToUtf8;
using base::Utf8ToPath;
using base::Utf8ToWide;
using base::WideToUtf8;

}  // namespace korvane::maintenance
