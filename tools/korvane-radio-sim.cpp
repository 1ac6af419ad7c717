// korvane-radio-sim: the simulated radio on a pseudo-terminal, for trying a
// firmware upgrade without a radio. Prints the port to give to
// `korvane flash --port`, then reports what the radio received.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>

#include "firmware/Qorin_CRC32.h"
#include "tests/support/sim/PtyRadio.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int)
{
    g_interrupted = 1;
}

const char* kUsage =
    "usage: korvane-radio-sim [options]\n"
    "  --stm32f1            erase and reset timing of a real STM32F1 (40 ms erase, 3 ms reset)\n"
    "  --loader             start with the boot image already running (user-program upgrade)\n"
    "  --fault STEP:ACTION[:FIRST[:COUNT]]\n"
    "                       inject a fault; ACTION is nack, silence, refuse or hangup; FIRST\n"
    "                       is the occurrence (block number for 'block'), COUNT how many\n"
    "  --delay MS           answer every request MS milliseconds late\n"
    "  --until-end          exit once the end frame has come (default: run until Ctrl-C)\n"
    "steps: sync readout-unprotect sync-after-readout-unprotect write-unprotect\n"
    "       sync-after-write-unprotect erase global-erase read-memory read-address read-length\n"
    "       get-version get-id write-memory write-address write-data go go-address\n"
    "       solicit hello ready block end-frame\n";

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
        } else if (arg == "--stm32f1") {
            const auto faults = options.faults;
            const bool loader = options.startInLoader;
            options = SimOptions::Stm32F1Timing();
            options.faults = faults;
            options.startInLoader = loader;
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
            try {
                options.replyDelay = std::chrono::milliseconds(std::stoi(argv[++i]));
            } catch (const std::exception&) {
                std::cerr << "korvane-radio-sim: bad delay '" << argv[i] << "'\n";
                return 2;
            }
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
