// korvane-radio-sim: the simulated radio on a pseudo-terminal, for trying a
// firmware upgrade without a radio. Prints the port to give to
// `korvane flash --port`, then reports what the radio received.
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "firmware/image/Qorin_CRC32.h"
#include "sim/PtyRadio.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int)
{
    g_interrupted = 1;
}

const char* kUsage =
    "usage: korvane-radio-sim [options]\n"
    "  --stm32f1            timing of a real STM32F1: 40 ms erase, 3 ms reset, 7 ms to program\n"
    "                       256 bytes\n"
    "  --slow-erase         a part with a large flash: 10 s mass erase, 20 ms reset\n"
    "  --erase-ms MS        mass erase time (global erase and Readout Unprotect)\n"
    "  --reset-ms MS        time the chip ignores the line after an unprotect\n"
    "  --program-ms MS      time to program 256 bytes of flash (a shorter frame, its share)\n"
    "  --baud B             a wire at B baud: every byte takes 11 bits' time to arrive and to\n"
    "                       leave, in both directions (default: bytes cross at once)\n"
    "  --strict             refuse what a real chip refuses: a Write Memory whose N+1 is not a\n"
    "                       multiple of 4; while read-protected, Read Memory, Write Memory, Go\n"
    "                       and the erases\n"
    "  --pid ID             the product id Get ID answers, hexadecimal (default 0x410)\n"
    "  --bootloader-version V\n"
    "                       the bootloader's version, as 2.2 or 0x22 (default 2.2); from 3.0 on\n"
    "                       it offers Extended Erase (0x44) and refuses Erase (0x43)\n"
    "  --uid HEX            the chip's 96-bit unique id, 24 hexadecimal digits (default\n"
    "                       4B4F5256414E452D53494D31, \"KORVANE-SIM1\")\n"
    "  --read-protected     start read-protected (Get Version's option byte 1 is 0x01);\n"
    "                       Readout Unprotect erases the flash and clears it\n"
    "  --loader             start with the boot image already running (user-program upgrade)\n"
    "  --fault STEP:ACTION[:FIRST[:COUNT]]\n"
    "                       inject a fault; ACTION is nack, silence, refuse, hangup, flood\n"
    "                       (sync, ready: the answer 8000 times) or corrupt (write-data: one\n"
    "                       byte of the frame lands flipped in flash, still acknowledged); FIRST\n"
    "                       is the occurrence (block number for 'block'), COUNT how many\n"
    "  --delay MS           answer every request MS milliseconds late (a USB adapter's latency)\n"
    "  --until-end          exit once the end frame has come (default: run until Ctrl-C)\n"
    "steps: sync readout-unprotect sync-after-readout-unprotect write-unprotect\n"
    "       sync-after-write-unprotect erase global-erase read-memory read-address read-length\n"
    "       get-version get-id write-memory write-address write-data go go-address\n"
    "       solicit hello ready block end-frame\n";

// A whole number in `base` that fits `T`, or nothing.
template <class T>
std::optional<T> Number(std::string_view text, int base)
{
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
    T value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "2.2" or "0x22": the version byte, major in the high nibble.
std::optional<std::uint8_t> BootloaderVersion(std::string_view text)
{
    const auto dot = text.find('.');
    if (dot == std::string_view::npos) return Number<std::uint8_t>(text, 16);
    const auto major = Number<unsigned>(text.substr(0, dot), 10);
    const auto minor = Number<unsigned>(text.substr(dot + 1), 10);
    if (!major || !minor || *major > 15 || *minor > 15) return std::nullopt;
    return static_cast<std::uint8_t>(*major << 4 | *minor);
}

// A non-negative whole number of milliseconds, or nothing.
std::optional<std::chrono::milliseconds> Milliseconds(std::string_view text)
{
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return std::chrono::milliseconds(value);
}

std::string Crc(const std::vector<std::uint8_t>& bytes)
{
    return korvane::firmware::FormatCrcLabel(korvane::firmware::Qorin_CRC32().Compute(bytes));
}

void Report(const korvane::sim::SimResults& r)
{
    std::cout << "flash written: " << r.flash.size() << " bytes in " << r.framesWritten
              << " frames, " << Crc(r.flash) << (r.erased ? "" : " (never erased)") << "\n";
    std::vector<std::uint8_t> trimmed = r.program;
    while (!trimmed.empty() && trimmed.back() == 0) trimmed.pop_back();
    std::cout << "user program: " << r.program.size() << " bytes in " << r.blocksAccepted
              << " blocks, " << Crc(r.program) << "; without the trailing zero padding "
              << trimmed.size() << " bytes, " << Crc(trimmed) << "\n";
    if (r.corruptedAt) {
        char at[sizeof("0x12345678")];
        std::snprintf(at, sizeof(at), "0x%08X", static_cast<unsigned>(*r.corruptedAt));
        std::cout << "frames written wrong: " << r.framesCorrupted << ", first at " << at << "\n";
    }
    std::cout << "boot image started: " << (r.started ? "yes" : "no")
              << "; end frame: " << (r.endFrame ? "yes" : "no")
              << (r.hungUp ? "; the line was hung up" : "") << "\n";
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace korvane::sim;
    SimOptions options;
    bool untilEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--stm32f1" || arg == "--slow-erase") {
            const SimOptions timing = arg == "--stm32f1" ? SimOptions::Stm32F1Timing()
                                                         : SimOptions::SlowMassEraseTiming();
            options.replyDelay = timing.replyDelay;
            options.eraseDuration = timing.eraseDuration;
            options.resetDuration = timing.resetDuration;
            options.programDuration = timing.programDuration;
        } else if ((arg == "--erase-ms" || arg == "--reset-ms" || arg == "--program-ms") &&
                   hasValue) {
            const auto ms = Milliseconds(argv[++i]);
            if (!ms) {
                std::cerr << "korvane-radio-sim: bad time '" << argv[i] << "'\n";
                return 2;
            }
            (arg == "--erase-ms"   ? options.eraseDuration
             : arg == "--reset-ms" ? options.resetDuration
                                   : options.programDuration) = *ms;
        } else if (arg == "--baud" && hasValue) {
            const auto baud = Number<unsigned>(argv[++i], 10);
            if (!baud || *baud == 0) {
                std::cerr << "korvane-radio-sim: bad baud rate '" << argv[i] << "'\n";
                return 2;
            }
            options.baud = *baud;
        } else if (arg == "--pid" && hasValue) {
            const auto pid = Number<std::uint16_t>(argv[++i], 16);
            if (!pid) {
                std::cerr << "korvane-radio-sim: bad product id '" << argv[i] << "'\n";
                return 2;
            }
            options.productId = *pid;
        } else if (arg == "--bootloader-version" && hasValue) {
            const auto version = BootloaderVersion(argv[++i]);
            if (!version) {
                std::cerr << "korvane-radio-sim: bad bootloader version '" << argv[i] << "'\n";
                return 2;
            }
            options.bootloaderVersion = *version;
        } else if (arg == "--uid" && hasValue) {
            const std::string_view hex = argv[++i];
            bool good = hex.size() == 2 * options.uniqueId.size();
            for (std::size_t b = 0; good && b < options.uniqueId.size(); ++b) {
                const auto byte = Number<std::uint8_t>(hex.substr(2 * b, 2), 16);
                good = byte.has_value();
                if (good) options.uniqueId[b] = *byte;
            }
            if (!good) {
                std::cerr << "korvane-radio-sim: bad unique id '" << hex << "'\n";
                return 2;
            }
        } else if (arg == "--strict") {
            options.strict = true;
        } else if (arg == "--read-protected") {
            options.readProtected = true;
        } else if (arg == "--loader") {
            options.startInLoader = true;
        } else if (arg == "--until-end") {
            untilEnd = true;
        } else if (arg == "--fault" && hasValue) {
            const auto fault = ParseFault(argv[++i]);
            if (!fault) {
                std::cerr << "korvane-radio-sim: bad fault '" << argv[i] << "'\n" << kUsage;
                return 2;
            }
            options.faults.push_back(*fault);
        } else if (arg == "--delay" && hasValue) {
            const auto ms = Milliseconds(argv[++i]);
            if (!ms) {
                std::cerr << "korvane-radio-sim: bad delay '" << argv[i] << "'\n";
                return 2;
            }
            options.replyDelay = *ms;
        } else {
            std::cerr << "korvane-radio-sim: unknown option '" << arg << "'\n" << kUsage;
            return 2;
        }
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    try {
        PtyRadio radio(options);
        std::cout << radio.SlavePath() << std::endl;
        std::cerr << "simulated radio ready; flash with: korvane flash --port " << radio.SlavePath()
                  << " ...  (Ctrl-C ends)" << std::endl;
        while (g_interrupted == 0 && !(untilEnd && radio.Results().endFrame)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        // The end frame's answer may still be on its way: let it leave first.
        for (int wait = 0; untilEnd && g_interrupted == 0 && !radio.Quiet() && wait < 50; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        radio.Stop();
        Report(radio.Results());
    } catch (const std::exception& e) {
        std::cerr << "korvane-radio-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
