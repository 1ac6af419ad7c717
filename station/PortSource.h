// Where the station looks for radios: the serial port list (USB adapters,
// filtered by ids or by hub slot), or device paths matching patterns such as
// /dev/serial/by-path/*, whose links are followed to their devices.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "serial/PortList.h"
#include "station/PortWatcher.h"

namespace korvane::station {

struct PortFilter {
    bool onlyUsb = true;
    std::vector<std::string> vidPids;  // "0403:6001", compared ignoring case
    std::string locationPrefix;        // "1-1." for the slots of one hub
};

bool Passes(const PortFilter& filter, const serial::PortInfo& port);

// The ports of `list` that pass `filter`.
std::vector<SeenPort> FromPortList(const std::vector<serial::PortInfo>& list,
                                   const PortFilter& filter);

// Whether `name` matches `pattern`, where '*' stands for any run of characters
// and '?' for one.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// The paths matching each pattern (wildcards in the last component only), each
// resolved to the device it names; a link to nothing is not a port.
std::vector<SeenPort> FromPatterns(const std::vector<std::string>& patterns);

}  // namespace korvane::station
