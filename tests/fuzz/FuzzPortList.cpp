// The port list read from a sysfs tree built from the input: tty entries with
// or without a device, device links up and down the tree (into loops too),
// subsystem links, USB attribute files with any contents. The list numbers
// its ports from 1, names a /dev device for each, and resolving a name
// against it gives a device or a defined error.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "serial/PortList.h"
#include "serial/SerialError.h"
#include "tests/fuzz/FuzzSupport.h"

namespace fs = std::filesystem;

namespace {

// A path component the input names: never empty, never "." or "..", no '/'.
std::string Component(const std::string& text)
{
    std::string name;
    for (char c : text) name += c == '/' || c == '\0' ? '_' : c;
    if (name.empty() || name == "." || name == "..") name = "n" + name;
    return name.substr(0, 64);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path root = korvane::fuzz::ScratchDir() / "sys";
    std::error_code ignored;
    fs::remove_all(root, ignored);
    const fs::path tty = root / "class" / "tty";
    const fs::path devices = root / "devices";
    fs::create_directories(tty);
    fs::create_directories(devices);

    // One line of the input per operation: its first byte says which, the rest
    // holds its names, separated by spaces.
    std::vector<std::string> names;
    for (const std::string& line : korvane::fuzz::Split(std::span(data, size), '\n')) {
        if (line.empty()) continue;
        const std::vector<std::string> words = korvane::fuzz::Split(
            std::span(reinterpret_cast<const std::uint8_t*>(line.data()) + 1, line.size() - 1),
            ' ');
        const std::string a = Component(words[0]);
        const std::string b = Component(words.size() > 1 ? words[1] : "");
        const std::string text = words.size() > 2 ? words[2] : "";
        const fs::path dir = devices / a;
        switch (line[0] % 6) {
            case 0:  // a tty whose device is devices/a
                fs::create_directories(tty / b, ignored);
                fs::create_directories(dir, ignored);
                fs::create_symlink(dir, tty / b / "device", ignored);
                break;
            case 1:  // devices/a belongs to subsystem b
                fs::create_directories(dir, ignored);
                fs::create_symlink(root / "bus" / b, dir / "subsystem", ignored);
                break;
            case 2:  // an attribute file of devices/a
                fs::create_directories(dir, ignored);
                korvane::fuzz::WriteFile(dir / b, text);
                break;
            case 3:  // devices/a/b, one level down
                fs::create_directories(dir / b, ignored);
                break;
            case 4:  // a link in devices/a to anywhere in the tree
                fs::create_directories(dir, ignored);
                fs::create_symlink(words.size() > 2 ? root / Component(text) : root, dir / b,
                                   ignored);
                break;
            default:  // a name to resolve against the list
                names.push_back(words[0]);
                break;
        }
    }

    const std::vector<korvane::serial::PortInfo> ports = korvane::serial::ListSerialPorts(tty);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        KORVANE_FUZZ_CHECK(ports[i].number == static_cast<int>(i) + 1);
        KORVANE_FUZZ_CHECK(ports[i].device.starts_with("/dev/") && ports[i].device.size() > 5);
    }
    for (const std::string& name : names) {
        // A number is looked up in the machine's own list; leave that to the tests.
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) continue;
        try {
            const std::string device = korvane::serial::ResolvePortName(name, ports);
            KORVANE_FUZZ_CHECK(!device.empty() || name.empty());
        } catch (const korvane::serial::SerialError& error) {
            KORVANE_FUZZ_CHECK(error.SerialKind() == korvane::serial::SerialErrorKind::NoSuchPort);
        }
    }
    return 0;
}
