// The bootloader's commands: their frames, and the windows their reads wait
// under each pacing. Every read ends at once on a first byte other than the
// ACK: a refusal is the whole answer, and the ceilings are for silence only.
#include "firmware/protocol/Stm32Bootloader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "firmware/FirmwareTexts.h"
#include "settings/OwnText.h"

namespace korvane::firmware {

namespace {

using std::chrono::milliseconds;
using Bl = Stm32Bootloader;

constexpr std::uint8_t kComplementMask = 0xFF;
constexpr std::uint8_t kErasedByte = 0xFF;
constexpr std::size_t kWord = 4;

// Patient ceilings: the slowest parts a radio may carry. Any command's answer
// and a 256-byte write take well under a second; a mass erase of a large
// flash up to about 35 s. A first synchronisation that goes unanswered is
// simply repeated, so it waits no longer than the fixed schedule's one poll;
// a bootloader that has just reset gets a little longer per byte.
constexpr milliseconds kCommandCeiling{1000};
constexpr milliseconds kMassEraseCeiling{35000};
constexpr milliseconds kFirstSyncCeiling{50};
constexpr milliseconds kResyncCeiling{100};

// The fixed schedule reads some single ACKs as two bytes: it then always
// waits its poll, which is the time the shipped window gives the bootloader
// there. Under patient pacing the same reads want the one byte that comes.
// clang-format off
//                                      fixed schedule   patient
//                                      wants  polls     wants  ceiling
constexpr ReadWindow kFirstSync        {1,     1,        1,     kFirstSyncCeiling};
constexpr ReadWindow kSyncAfterReset   {1,     1,        1,     kResyncCeiling};
constexpr ReadWindow kOneAck           {1,     1,        1,     kCommandCeiling};
constexpr ReadWindow kAckWithinPoll    {2,     1,        1,     kCommandCeiling};
constexpr ReadWindow kGlobalEraseAck   {2,     1,        1,     kMassEraseCeiling};
// Both ACKs of an unprotect; Readout Unprotect erases the flash between them.
constexpr ReadWindow kWriteUnprotectAcks   {2, 1,        2,     2 * kCommandCeiling};
constexpr ReadWindow kReadoutUnprotectAcks {2, 1,        2,     kCommandCeiling + kMassEraseCeiling};
// ACK, then 4 data bytes with the closing ACK.
constexpr ReadWindow kFiveByteReply    {5,     2,        5,     kCommandCeiling};
// Get: its length is only known from its second byte, and a read takes every
// byte waiting at once, so the whole longest reply is asked for and the read
// takes what came within a window that any bootloader's list fits in.
constexpr ReadWindow kGetReply         {258,   2,        258,   milliseconds(200)};
// clang-format on

// ACK and `count` data bytes (Read Memory).
ReadWindow DataReply(std::size_t count)
{
    const auto wanted = static_cast<std::uint16_t>(count);
    return {wanted, 2, wanted, kCommandCeiling};
}

constexpr std::uint8_t Complement(std::uint8_t value)
{
    return static_cast<std::uint8_t>(value ^ kComplementMask);
}

std::array<std::uint8_t, 2> CommandFrame(std::uint8_t command)
{
    return {command, Complement(command)};
}

// Four address bytes, most significant first, then their XOR.
std::array<std::uint8_t, 5> AddressFrame(std::uint32_t address)
{
    std::array<std::uint8_t, 5> frame{};
    std::uint8_t checksum = 0;
    for (int i = 0; i < 4; ++i) {
        frame[i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
        checksum ^= frame[i];
    }
    frame[4] = checksum;
    return frame;
}

std::string_view CommandName(std::uint8_t command)
{
    switch (command) {
        case Bl::kSync:
            return "the synchronisation";
        case Bl::kGet:
            return "Get";
        case Bl::kGetVersion:
            return "Get Version";
        case Bl::kGetId:
            return "Get ID";
        case Bl::kReadMemory:
            return "Read Memory";
        case Bl::kGo:
            return "Go";
        case Bl::kWriteMemory:
            return "Write Memory";
        case Bl::kErase:
            return "Erase Memory";
        case Bl::kWriteUnprotect:
            return "Write Unprotect";
        case Bl::kReadoutUnprotect:
            return "Readout Unprotect";
        default:
            return "a command";
    }
}

BootloaderAnswer Begin(std::uint8_t command, std::uint32_t address = 0)
{
    BootloaderAnswer answer;
    answer.command = command;
    answer.address = address;
    return answer;
}

std::string HexBytes(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty()) return "-";
    std::string text;
    for (std::uint8_t b : bytes) text += (text.empty() ? "" : " ") + HexByte(b).substr(2);
    return text;
}

}  // namespace

std::string StepName::Text() const
{
    if (textId == 0) return std::string(english);
    return settings::OwnText(textId, english, {argument});
}

bool BootloaderAnswer::Accepted() const
{
    return first == Bl::kAck;
}

StepName BootloaderAnswer::Step() const
{
    const std::string_view name = CommandName(command);
    switch (part) {
        case CommandPart::Command:
            return {0, name, {}};
        case CommandPart::SecondAck:
            return {kTextSecondAck, "{0} a second time", std::string(name)};
        case CommandPart::Address:
            if (command == Bl::kGo) return {kTextGoAddress, "the Go address", {}};
            if (command == Bl::kWriteMemory) {
                return {kTextWriteAddress, "the Write Memory address {0}", AddressText(address)};
            }
            return {kTextReadAddress, "the Read Memory address {0}", AddressText(address)};
        case CommandPart::Length:
            return {kTextReadLength, "the Read Memory length at {0}", AddressText(address)};
        case CommandPart::Code:
            return {kTextGlobalErase, "the global erase", {}};
        case CommandPart::Data:
            return {kTextDataFrameAt, "the data frame at {0}", AddressText(address)};
    }
    return {0, name, {}};
}

MalformedReply::MalformedReply(std::string_view command, std::span<const std::uint8_t> reply)
    : korvane::Error(ErrorKind::Refused,
                     settings::OwnText(kTextMalformedReply,
                                       "The radio's bootloader answered {0} with a reply its "
                                       "protocol does not have: {1}",
                                       {command, HexBytes(reply)}),
                     settings::OwnText(kHintBootloader,
                                       "Check that the radio is switched into its bootloader and "
                                       "connected to this port."))
{
}

Stm32Bootloader::Stm32Bootloader(serial::ByteExchange& exchange, Pacing pacing)
    : m_exchange(exchange), m_pacing(pacing)
{
}

serial::Reply Stm32Bootloader::Exchange(std::span<const std::uint8_t> request,
                                        const ReadWindow& window)
{
    m_exchange.SendBytes(request.data(), static_cast<std::uint16_t>(request.size()));
    return ReadUnder(m_exchange, m_pacing, window, kAck);
}

bool Stm32Bootloader::SendPart(BootloaderAnswer& answer, CommandPart part,
                               std::span<const std::uint8_t> bytes, const ReadWindow& window)
{
    const serial::Reply reply = Exchange(bytes, window);
    answer.part = part;
    answer.first = reply.First();
    if (!answer.Accepted()) return false;
    answer.data.assign(reply.Bytes().begin() + 1, reply.Bytes().end());
    return true;
}

bool Stm32Bootloader::SendCommand(BootloaderAnswer& answer, const ReadWindow& ack)
{
    return SendPart(answer, CommandPart::Command, CommandFrame(answer.command), ack);
}

BootloaderAnswer Stm32Bootloader::Sync(SyncKind kind)
{
    BootloaderAnswer answer = Begin(kSync);
    const std::array<std::uint8_t, 1> sync{kSync};
    SendPart(answer, CommandPart::Command, sync,
             kind == SyncKind::First ? kFirstSync : kSyncAfterReset);
    return answer;
}

BootloaderAnswer Stm32Bootloader::Simple(std::uint8_t command, const ReadWindow& reply)
{
    BootloaderAnswer answer = Begin(command);
    SendCommand(answer, reply);
    return answer;
}

BootloaderAnswer Stm32Bootloader::Get()
{
    return Simple(kGet, kGetReply);
}

BootloaderAnswer Stm32Bootloader::GetVersion()
{
    return Simple(kGetVersion, kFiveByteReply);
}

BootloaderAnswer Stm32Bootloader::GetId()
{
    return Simple(kGetId, kFiveByteReply);
}

BootloaderAnswer Stm32Bootloader::ReadMemory(std::uint32_t address, std::size_t count)
{
    BootloaderAnswer answer = Begin(kReadMemory, address);
    if (!SendCommand(answer, kAckWithinPoll)) return answer;
    if (!SendPart(answer, CommandPart::Address, AddressFrame(address), kAckWithinPoll)) {
        return answer;
    }
    const auto code = static_cast<std::uint8_t>(count - 1);
    const std::array<std::uint8_t, 2> length{code, Complement(code)};
    SendPart(answer, CommandPart::Length, length, DataReply(count + 1));
    return answer;
}

BootloaderAnswer Stm32Bootloader::WriteMemory(std::uint32_t address,
                                              std::span<const std::uint8_t> bytes)
{
    BootloaderAnswer answer = Begin(kWriteMemory, address);
    if (!SendCommand(answer, kOneAck)) return answer;
    if (!SendPart(answer, CommandPart::Address, AddressFrame(address), kOneAck)) return answer;
    // N - 1, the N bytes, then the XOR of all of them.
    std::vector<std::uint8_t> frame;
    frame.reserve(bytes.size() + 2);
    auto checksum = static_cast<std::uint8_t>(bytes.size() - 1);
    frame.push_back(checksum);
    for (std::uint8_t b : bytes) {
        frame.push_back(b);
        checksum ^= b;
    }
    frame.push_back(checksum);
    // A silent line leaves nothing to mistake for an answer, even when the
    // frame's own first byte equals the ACK (a 122-byte frame starts with 0x79).
    SendPart(answer, CommandPart::Data, frame, kOneAck);
    return answer;
}

BootloaderAnswer Stm32Bootloader::Go(std::uint32_t address)
{
    BootloaderAnswer answer = Begin(kGo, address);
    if (!SendCommand(answer, kOneAck)) return answer;
    SendPart(answer, CommandPart::Address, AddressFrame(address), kAckWithinPoll);
    return answer;
}

BootloaderAnswer Stm32Bootloader::Unprotect(std::uint8_t command, const ReadWindow& acks)
{
    BootloaderAnswer answer = Begin(command);
    if (!SendCommand(answer, acks)) return answer;
    // The fixed schedule judges the two ACKs by the first byte alone, as shipped.
    if (m_pacing == Pacing::Exact) return answer;
    answer.part = CommandPart::SecondAck;
    answer.first = answer.data.empty() ? std::nullopt : std::optional(answer.data.front());
    answer.data.clear();
    return answer;
}

BootloaderAnswer Stm32Bootloader::ReadoutUnprotect()
{
    return Unprotect(kReadoutUnprotect, kReadoutUnprotectAcks);
}

BootloaderAnswer Stm32Bootloader::WriteUnprotect()
{
    return Unprotect(kWriteUnprotect, kWriteUnprotectAcks);
}

BootloaderAnswer Stm32Bootloader::EraseAll()
{
    BootloaderAnswer answer = Begin(kErase);
    if (!SendCommand(answer, kAckWithinPoll)) return answer;
    const std::array<std::uint8_t, 2> global{kGlobalErase, Complement(kGlobalErase)};
    SendPart(answer, CommandPart::Code, global, kGlobalEraseAck);
    return answer;
}

std::vector<std::uint8_t> PadToWords(std::span<const std::uint8_t> bytes)
{
    std::vector<std::uint8_t> padded(bytes.begin(), bytes.end());
    padded.resize((bytes.size() + kWord - 1) / kWord * kWord, kErasedByte);
    return padded;
}

GetReply ParseGet(const BootloaderAnswer& answer)
{
    const std::vector<std::uint8_t>& d = answer.data;
    // N, the version, N command bytes, the closing ACK.
    if (d.size() < 3 || d.size() != std::size_t{d[0]} + 3 || d.back() != Bl::kAck) {
        throw MalformedReply("Get", d);
    }
    return {d[1], std::vector<std::uint8_t>(d.begin() + 2, d.end() - 1)};
}

VersionReply ParseGetVersion(const BootloaderAnswer& answer)
{
    const std::vector<std::uint8_t>& d = answer.data;
    if (d.size() != 4 || d.back() != Bl::kAck) throw MalformedReply("Get Version", d);
    return {d[0], {d[1], d[2]}};
}

std::uint16_t ParseGetId(const BootloaderAnswer& answer)
{
    const std::vector<std::uint8_t>& d = answer.data;
    // N = 1: a two-byte product id, then the closing ACK.
    if (d.size() != 4 || d[0] != 1 || d.back() != Bl::kAck) throw MalformedReply("Get ID", d);
    return static_cast<std::uint16_t>((d[1] << 8) | d[2]);
}

std::array<std::uint8_t, kUidSize> ParseUid(const BootloaderAnswer& answer)
{
    if (answer.data.size() != kUidSize) throw MalformedReply("Read Memory", answer.data);
    std::array<std::uint8_t, kUidSize> uid{};
    std::copy(answer.data.begin(), answer.data.end(), uid.begin());
    return uid;
}

std::string HexByte(std::uint8_t value)
{
    char text[sizeof("0xFF")];
    std::snprintf(text, sizeof(text), "0x%02X", static_cast<unsigned>(value));
    return text;
}

std::string AddressText(std::uint32_t address)
{
    char text[sizeof("0x12345678")];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(address));
    return text;
}

}  // namespace korvane::firmware
