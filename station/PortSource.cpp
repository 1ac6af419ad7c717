// The station's two ways of finding ports: the port list with its filters, and
// path patterns.
#include "station/PortSource.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "base/TextEncoding.h"

namespace korvane::station {

namespace {
std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool HasWildcard(std::string_view text)
{
    return text.find_first_of("*?") != std::string_view::npos;
}

std::string Resolved(const std::filesystem::path& path)
{
    std::error_code error;
    const auto real = std::filesystem::canonical(path, error);
    return error ? std::string() : base::PathToUtf8(real);
}
}  // namespace

bool Passes(const PortFilter& filter, const serial::PortInfo& port)
{
    const bool usb = !port.usbLocation.empty();
    if (filter.onlyUsb && !usb) return false;
    if (!filter.vidPids.empty()) {
        const std::string ids = Lower(port.vendorId + ":" + port.productId);
        const bool listed = std::any_of(filter.vidPids.begin(), filter.vidPids.end(),
                                        [&](const std::string& v) { return Lower(v) == ids; });
        if (!listed) return false;
    }
    return port.usbLocation.rfind(filter.locationPrefix, 0) == 0;
}

std::vector<SeenPort> FromPortList(const std::vector<serial::PortInfo>& list,
                                   const PortFilter& filter)
{
    std::vector<SeenPort> seen;
    for (const serial::PortInfo& port : list) {
        if (!Passes(filter, port)) continue;
        seen.push_back({port.device, port.device, port.usbLocation, port.serialNumber});
    }
    return seen;
}

bool MatchesWildcard(std::string_view pattern, std::string_view name)
{
    // Greedy match with one backtrack point: linear in practice, no recursion.
    std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<SeenPort> FromPatterns(const std::vector<std::string>& patterns)
{
    std::vector<SeenPort> seen;
    for (const std::string& pattern : patterns) {
        const std::filesystem::path path = base::Utf8ToPath(pattern);
        const std::string leaf = base::PathToUtf8(path.filename());
        if (!HasWildcard(leaf)) {
            const std::string device = Resolved(path);
            if (!device.empty()) seen.push_back({pattern, device, {}, {}});
            continue;
        }
        std::error_code error;
        std::vector<std::string> names;
        for (std::filesystem::directory_iterator it(path.parent_path(), error), end;
             !error && it != end; it.increment(error)) {
            const std::string name = base::PathToUtf8(it->path().filename());
            if (MatchesWildcard(leaf, name)) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const auto entry = path.parent_path() / base::Utf8ToPath(name);
            const std::string device = Resolved(entry);
            if (!device.empty()) seen.push_back({base::PathToUtf8(entry), device, {}, {}});
        }
    }
    return seen;
}

}  // namespace korvane::station
