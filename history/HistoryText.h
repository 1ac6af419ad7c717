// Ids of the history's own texts in Txt.ini (the history's range, see
// settings/OwnText.h); the English text is written where it is used.
#pragma once

#include <cstdint>

#include "settings/OwnText.h"

namespace korvane::history {

constexpr std::int32_t kTextCannotOpen = settings::kOwnTextHistory + 0;
constexpr std::int32_t kTextCannotWrite = settings::kOwnTextHistory + 1;
constexpr std::int32_t kTextNotRegular = settings::kOwnTextHistory + 2;
constexpr std::int32_t kTextBusy = settings::kOwnTextHistory + 3;
constexpr std::int32_t kTextCannotRead = settings::kOwnTextHistory + 4;
constexpr std::int32_t kTextHint = settings::kOwnTextHistory + 5;

}  // namespace korvane::history
