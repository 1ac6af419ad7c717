// The start options of STM32_Korvane, read the same way on both systems: only
// `--service` (the window with the firmware-upgrade and APN groups) and the
// help; any other argument of two dashes is refused with the usage.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvane::app {

struct StartOptions {
    enum class Action { Run, Help, Refuse };
    Action action = Action::Run;
    bool service = false;
    std::string refusal;  // Refuse: what was wrong, then the usage
};

// `args` without the program's name. Arguments of one dash are left alone
// (on Linux they are Qt's own options: -platform, -style, ...).
StartOptions ParseStartOptions(const std::vector<std::string_view>& args);

// The usage lines, in the user's language.
std::string UsageText();

// Our own texts in the language Sys.dat names, before any window exists.
void UseCatalogueOfProgramFolder();

}  // namespace korvane::app
