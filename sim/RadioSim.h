// The simulated radio: an STM32 USART system bootloader and, after Go, the
// application loader of the boot image. Transport-free: bytes go in with the
// time they were sent, reply bytes come out when their time has come; with a
// baud rate set, every byte also takes its time on the line in both directions.
// Faults, a stricter chip and other personalities are chosen in SimOptions.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::sim {

using SimTime = std::chrono::microseconds;

// The steps a fault can be attached to, as the radio sees them.
enum class SimStep {
    Sync,                       // the first 0x7F after power-up
    ReadoutUnprotect,           // 0x92
    SyncAfterReadoutUnprotect,  // the fresh 0x7F after the reset
    WriteUnprotect,             // 0x73
    SyncAfterWriteUnprotect,
    EraseMemory,    // 0x43
    ExtendedErase,  // 0x44
    GlobalErase,    // FF 00 after 0x43, FF FF 00 after 0x44
    Get,            // 0x00
    ReadMemory,     // 0x11
    ReadAddress,
    ReadLength,
    GetVersion,   // 0x01
    GetId,        // 0x02
    WriteMemory,  // 0x31, counted per frame
    WriteAddress,
    WriteData,
    Go,  // 0x21
    GoAddress,
    Solicit,   // loader: 0x00 -> 'G'
    Hello,     // loader: 'O' -> '+'
    Ready,     // loader: '-' -> '!'
    Block,     // loader: one 4,096-byte block, counted from 0
    EndFrame,  // loader: FF FF ...
};

enum class FaultAction {
    Nack,     // answer with a refusal (0x1F, or a byte other than the loader's expected one)
    Silence,  // answer nothing
    Refuse,   // a block answered '@'
    HangUp,   // the line drops (in the middle of a frame or block where there is one)
    Flood,    // the step's answer comes thousands of times over (sync and ready)
    Corrupt,  // a Write Memory frame is acknowledged but one byte lands flipped in flash
};

// How many answers a flood sends: far more than one read of the receive queue
// takes (1,024 bytes), yet few enough that a pseudo-terminal takes the flood and
// the answer that follows it in one write (its line discipline holds 4,096
// bytes). A larger flood would trickle in after the program's discard, and
// bytes that arrive after a request cannot be told from its answer.
constexpr std::size_t kFloodBytes = 4000;

// Applies to occurrences first .. first + count - 1 of the step (0-based).
struct Fault {
    SimStep step;
    FaultAction action;
    int first = 0;
    int count = 1;
};

struct SimOptions {
    std::vector<Fault> faults;
    SimTime replyDelay{0};       // added to every answer: a USB adapter's latency
    SimTime eraseDuration{0};    // any erase, and the erase inside Readout Unprotect
    SimTime resetDuration{0};    // after each unprotect the line is ignored this long
    SimTime programDuration{0};  // programming 256 bytes of flash (a shorter frame, its share)
    bool startInLoader = false;  // a radio whose boot image already runs

    // The line: 0 delivers every byte at once (a pseudo-terminal); otherwise each
    // byte takes 11 bits' time at this rate (8 data bits, parity, start and stop)
    // to reach the radio and to come back, one after the other in each direction.
    unsigned baud = 0;

    // A chip that keeps the bootloader note's rules: a Write Memory whose N+1 is
    // not a multiple of 4 is refused, and while the flash is read-protected so
    // are Read Memory, Write Memory, Go and the erases.
    bool strict = false;
    bool readProtected = false;             // until Readout Unprotect clears it
    std::uint16_t productId = 0x0410;       // Get ID: STM32F10x medium density
    std::uint8_t bootloaderVersion = 0x22;  // 3.0 and later: Extended Erase 0x44, no 0x43
    // The 96-bit unique id Read Memory gives at the part's uid address: one per
    // radio, so that several simulated radios can be told apart in a history.
    std::array<std::uint8_t, 12> uniqueId = {0x4B, 0x4F, 0x52, 0x56, 0x41, 0x4E,
                                             0x45, 0x2D, 0x53, 0x49, 0x4D, 0x31};  // "KORVANE-SIM1"

    // A real STM32F1: erases take up to 40 ms before their ACK, the reset a few
    // ms, and a 256-byte frame 7 ms to program (128 half-words at about 55 us).
    static SimOptions Stm32F1Timing();
    // A part with a large flash: its mass erase takes 10 s, its reset 20 ms.
    static SimOptions SlowMassEraseTiming();
};

struct SimResults {
    std::vector<std::uint8_t> flash;     // from the flash base to the last byte written
    std::vector<std::uint8_t> program;   // accepted blocks in order (4,096 bytes each)
    std::vector<std::uint8_t> received;  // every byte that reached the line, in order
    int framesWritten = 0;
    int framesCorrupted = 0;  // frames acknowledged but written with one byte flipped
    std::optional<std::uint32_t> corruptedAt;  // the first flash address written wrong
    int blocksAccepted = 0;
    bool erased = false;
    bool started = false;  // Go accepted: the boot image runs
    bool endFrame = false;
    bool hungUp = false;
    std::size_t answered = 0;  // reply bytes the radio put on the line
    SimTime chipTime{0};       // erasing, resetting and programming, all told
    // From the first Write Memory command to the last frame's ACK having left:
    // the write phase of the boot image, on the radio's clock.
    std::optional<SimTime> firstWriteAt;
    std::optional<SimTime> lastWriteAckAt;
};

// The byte codes Get lists for a bootloader of this version, in its order.
std::vector<std::uint8_t> OfferedCommands(std::uint8_t bootloaderVersion);

// "readout-unprotect", "block", ...; ParseStep takes the same names.
std::string_view StepName(SimStep step);
std::optional<SimStep> ParseStep(std::string_view name);
// "nack", "silence", "refuse", "hangup", "flood", "corrupt".
std::optional<FaultAction> ParseFaultAction(std::string_view name);
// "step:action[:first[:count]]", e.g. "block:refuse:2" or "sync:silence:0:148".
std::optional<Fault> ParseFault(std::string_view text);

class RadioSim {
public:
    static constexpr std::uint32_t kFlashBase = 0x08000000;
    static constexpr std::size_t kFlashSize = 1024 * 1024;
    static constexpr std::uint32_t kDeviceIdAddress = 0x1FFFF7E8;
    static constexpr std::uint8_t kOldFirmware = 0x5A;  // flash contents before the erase

    explicit RadioSim(SimOptions options = {});

    // Bytes the program sent at `now`. Without a wire they reach the radio at
    // once; on a wire one after the other, and the radio acts on each only when
    // its last bit has come (at a later Receive, TakeDue or Advance).
    void Receive(std::span<const std::uint8_t> bytes, SimTime now);
    // Lets the radio act on what has reached it by `now`.
    void Advance(SimTime now);
    // Reply bytes whose last bit has left the line by `now`, in order.
    std::vector<std::uint8_t> TakeDue(SimTime now);
    // When the next thing happens: a byte reaching the radio or a reply byte
    // leaving the line. With `coalesce`, a run of bytes is taken in steps of at
    // least that long, though the last byte of a run is never taken late.
    std::optional<SimTime> NextDue(SimTime coalesce = SimTime{0}) const;
    bool HungUp() const { return m_results.hungUp; }
    bool ReadProtected() const { return m_readProtected; }
    SimResults Results() const;

private:
    enum class State {
        WaitSync,
        Command,
        ReadAddress,
        ReadLength,
        WriteAddress,
        WriteData,
        GoAddress,
        EraseCode,
        ExtendedEraseCode,
        LoaderIdle,
        LoaderGreeted,
        LoaderHello,
        LoaderReceiving,
    };

    void OnByte(std::uint8_t byte, SimTime at);
    // The unique id and the flash-size register where this part keeps them.
    std::optional<std::uint8_t> SystemMemoryByte(std::uint32_t at) const;
    void OnRomByte(std::uint8_t byte, SimTime now);
    void OnRomFrame(State state, const std::vector<std::uint8_t>& rx, SimTime now);
    void OnErase(const std::vector<std::uint8_t>& rx, bool extended, SimTime now);
    void ErasePage(std::size_t page);
    // Refuses a command a read-protected strict chip does not serve.
    bool RefusedWhileProtected(SimTime now);
    void OnCommand(const std::vector<std::uint8_t>& rx, SimTime now);
    void OnLoaderByte(std::uint8_t byte, SimTime now);
    void OnLoaderFrame(SimTime now);
    void Reply(std::initializer_list<std::uint8_t> bytes, SimTime at);
    void Reply(std::span<const std::uint8_t> bytes, SimTime at);
    // The fault for the next occurrence of `step` (counted), or for a given one.
    std::optional<FaultAction> NextFault(SimStep step);
    std::optional<FaultAction> FaultFor(SimStep step, int occurrence) const;
    // Applies a fault that silences, refuses or hangs up; true when the step ends there.
    // A flood sends `answer` many times and lets the step go on as usual.
    bool Faulted(SimStep step, SimTime now, std::uint8_t refusal, std::uint8_t answer = 0);
    static std::optional<std::uint32_t> TakeAddress(const std::vector<std::uint8_t>& rx);
    void Expect(State state, std::size_t bytes);
    void ResetDevice(SimTime from, SimStep nextSync);

    SimOptions m_options;
    std::chrono::nanoseconds m_byteTime{0};  // one byte on the line, 0 without a wire
    std::chrono::nanoseconds m_rxLineFree{0};
    std::chrono::nanoseconds m_txLineFree{0};
    std::deque<std::pair<SimTime, std::uint8_t>> m_in;  // on the line to the radio
    bool m_readProtected = false;
    State m_state = State::WaitSync;
    SimStep m_syncStep = SimStep::Sync;
    std::size_t m_wanted = 0;
    std::vector<std::uint8_t> m_rx;
    std::uint32_t m_address = 0;
    SimTime m_busyUntil{0};
    std::deque<std::pair<SimTime, std::uint8_t>> m_out;
    std::map<SimStep, int> m_occurrences;
    std::vector<std::uint8_t> m_flash;
    std::size_t m_flashEnd = 0;
    std::optional<FaultAction> m_frameFault;  // of the Write Memory frame being received
    std::optional<FaultAction> m_blockFault;  // of the loader block being received
    SimResults m_results;
};

}  // namespace korvane::sim
