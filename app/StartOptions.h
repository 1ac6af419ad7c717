// The start options of STM32_Korvane, read the same way on both systems: only
// `--service` (the window with the firmware-upgrade and APN groups),
// `--exact-timing` (the service window's jobs keep the shipped pacing) and the
// help; any other argument of two dashes is refused with the usage.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "firmware/protocol/Pacing.h"

namespace korvane::app {

struct StartOptions {
    enum class Action { Run, Help, Refuse };
    Action action = Action::Run;
    bool service = false;
    // The firmware jobs' pacing. A service start waits patiently, as
    // `korvane flash` does, so that slow USB adapters and slow erases complete;
    // `--service --exact-timing`, like the shipped start, keeps the fixed polls.
    bool exactTiming = false;
    std::string refusal;  // Refuse: what was wrong, then the usage
};

// `args` without the program's name. Arguments of one dash are left alone
// (on Linux they are Qt's own options: -platform, -style, ...).
StartOptions ParseStartOptions(const std::vector<std::string_view>& args);

// How the window's firmware jobs wait for the radio: patient for a service
// start, the fixed polls for the shipped start and for --exact-timing.
firmware::Pacing JobPacing(const StartOptions& options);

// The usage lines, in the user's language.
std::string UsageText();

// Our own texts in the language Sys.dat names, before any window exists.
void UseCatalogueOfProgramFolder();

}  // namespace korvane::app
