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

#include "firmware/Qorin_CRC32.h"
#include "sim/PtyRadio.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int)
{
    g_interrupted = 1;
}

const char* kUsage =
    "usage: korvane-radio-sim [options]\n"
    "  --stm32f1            erase and reset timing of a real STM32F1 (40 ms erase, 3 ms reset)\n"
    "  --slow-erase         a part with a large flash: 10 s mass erase, 20 ms reset\n"
    "  --erase-ms MS        mass erase time (global erase and Readout Unprotect)\n"
    "  --reset-ms MS        time the chip ignores the line after an unprotect\n"
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
        } else if ((arg == "--erase-ms" || arg == "--reset-ms") && hasValue) {
            const auto ms = Milliseconds(argv[++i]);
            if (!ms) {
                std::cerr << "korvane-radio-sim: bad time '" << argv[i] << "'\n";
                return 2;
            }
            (arg == "--erase-ms" ? options.eraseDuration : options.resetDuration) = *ms;
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
        radio.Stop();
        Report(radio.Results());
    } catch (const std::exception& e) {
        std::cerr << "korvane-radio-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
