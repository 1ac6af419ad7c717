// The STM32 ROM bootloader's USART protocol (ST's AN3155) as commands: each
// knows the bytes it sends, the reply the bootloader gives, and how long each
// of its reads waits under either pacing. A command returns its answer as a
// value; what to make of a refusal is the caller's (the ROM bootloader stage,
// `korvane info`). Nothing here knows of images, jobs or progress.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "error/Error.h"
#include "firmware/protocol/Pacing.h"
#include "firmware/protocol/Stm32Parts.h"
#include "serial/ByteExchange.h"

namespace korvane::firmware {

// The part of a command an answer belongs to.
enum class CommandPart {
    Command,    // the command byte and its complement
    SecondAck,  // an unprotect's second acknowledgement, when the work is done
    Address,    // four address bytes and their XOR
    Length,     // Read Memory's count; the data follow its ACK
    Code,       // the erase code (0xFF: global)
    Data,       // Write Memory's data frame
};

// What a step is called in a failure message. The bootloader's command names
// stay as they are; the rest is text of our own, looked up in the user's
// language only when a step fails (never per frame).
struct StepName {
    std::int32_t textId = 0;  // 0: `english` is a command name
    std::string_view english;
    std::string argument;  // fills {0}
    std::string Text() const;
};

// One command's answer: the part it got to, what the bootloader answered that
// part with, and the bytes that came after that part's ACK.
struct BootloaderAnswer {
    std::uint8_t command = 0;
    CommandPart part = CommandPart::Command;
    std::uint32_t address = 0;          // of Read Memory, Write Memory and Go
    std::optional<std::uint8_t> first;  // the first byte of the answer; empty: silence
    std::vector<std::uint8_t> data;     // after the ACK (Get*, Read Memory)

    bool Accepted() const;
    // The step that went wrong, for a failure message.
    StepName Step() const;
};

// A reply whose length or content the protocol does not have.
class MalformedReply : public korvane::Error {
public:
    MalformedReply(std::string_view command, std::span<const std::uint8_t> reply);
};

class Stm32Bootloader {
public:
    static constexpr std::uint8_t kSync = 0x7F;
    static constexpr std::uint8_t kAck = 0x79;
    static constexpr std::uint8_t kNack = 0x1F;
    static constexpr std::uint8_t kGet = 0x00;
    static constexpr std::uint8_t kGetVersion = 0x01;
    static constexpr std::uint8_t kGetId = 0x02;
    static constexpr std::uint8_t kReadMemory = 0x11;
    static constexpr std::uint8_t kGo = 0x21;
    static constexpr std::uint8_t kWriteMemory = 0x31;
    static constexpr std::uint8_t kErase = 0x43;
    static constexpr std::uint8_t kExtendedErase = 0x44;
    static constexpr std::uint8_t kWriteUnprotect = 0x73;
    static constexpr std::uint8_t kReadoutUnprotect = 0x92;
    static constexpr std::uint8_t kGlobalErase = 0xFF;
    static constexpr std::size_t kMaxTransfer = 256;  // bytes per Read or Write Memory

    // The first synchronisation after power-up, which a caller repeats while
    // unanswered; or the one after an unprotect has reset the chip.
    enum class SyncKind { First, AfterReset };

    Stm32Bootloader(serial::ByteExchange& exchange, Pacing pacing);

    BootloaderAnswer Sync(SyncKind kind);
    // Data: N, the version, N command bytes, ACK.
    BootloaderAnswer Get();
    // Data: the version, two option bytes, ACK.
    BootloaderAnswer GetVersion();
    // Data: N, the N + 1 bytes of the product id, ACK.
    BootloaderAnswer GetId();
    // `count` (1..256) bytes at `address`; data: the bytes that came.
    BootloaderAnswer ReadMemory(std::uint32_t address, std::size_t count);
    // 1..256 bytes at `address`, sent as given (the protocol asks for a
    // multiple of 4: see PadToWords).
    BootloaderAnswer WriteMemory(std::uint32_t address, std::span<const std::uint8_t> bytes);
    BootloaderAnswer Go(std::uint32_t address);
    // Both acknowledge twice, the second time when the work is done (Readout
    // Unprotect erases the flash first); the chip then resets.
    BootloaderAnswer ReadoutUnprotect();
    BootloaderAnswer WriteUnprotect();
    // Erase 0x43 with the global-erase code.
    BootloaderAnswer EraseAll();

    Pacing GetPacing() const { return m_pacing; }
    serial::ISleeper& Sleeper() { return m_exchange.Sleeper(); }

private:
    serial::Reply Exchange(std::span<const std::uint8_t> request, const ReadWindow& window);
    BootloaderAnswer Unprotect(std::uint8_t command, const ReadWindow& acks);
    BootloaderAnswer Simple(std::uint8_t command, const ReadWindow& reply);
    // Sends the command; true when it was acknowledged, else `answer` says how not.
    bool SendCommand(BootloaderAnswer& answer, const ReadWindow& ack);
    bool SendPart(BootloaderAnswer& answer, CommandPart part, std::span<const std::uint8_t> bytes,
                  const ReadWindow& window);

    serial::ByteExchange& m_exchange;
    Pacing m_pacing;
};

// `bytes` with 0xFF (erased flash) added up to a multiple of 4.
std::vector<std::uint8_t> PadToWords(std::span<const std::uint8_t> bytes);

// The replies parsed; each throws MalformedReply for a reply the protocol
// does not have (too short, too long, a count that does not fit).
struct GetReply {
    std::uint8_t version = 0;
    std::vector<std::uint8_t> commands;
};
GetReply ParseGet(const BootloaderAnswer& answer);
struct VersionReply {
    std::uint8_t version = 0;
    std::array<std::uint8_t, 2> options{};
};
VersionReply ParseGetVersion(const BootloaderAnswer& answer);
std::uint16_t ParseGetId(const BootloaderAnswer& answer);
std::array<std::uint8_t, kUidSize> ParseUid(const BootloaderAnswer& answer);

// "0x1F" for the failure descriptions.
std::string HexByte(std::uint8_t value);
// "0x08000100".
std::string AddressText(std::uint32_t address);

}  // namespace korvane::firmware
