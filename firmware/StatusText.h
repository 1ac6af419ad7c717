// The worker's built-in status lines, in English for language 1 and in
// Chinese for every other language value.
#pragma once

#include <cstdint>
#include <string_view>

#include "settings/TextCatalogue.h"

namespace korvane::firmware {

enum class StatusId {
    BootDownloading,  // the ROM bootloader answered the synchronisation byte
    BootCompleted,    // the boot image was written and started
    UserStart,        // the application loader announced itself with 'G'
    UserDownloading,  // before each 4,096-byte block
    UserCompleted,    // every block accepted
    Error,            // the job failed
};

using settings::kLanguageEnglish;

std::string_view StatusText(StatusId id, std::uint8_t language);

}  // namespace korvane::firmware
