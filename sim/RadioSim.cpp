// The simulated radio's protocol engine: a byte-driven state machine for the
// STM32 bootloader commands the upgrade uses, then the application loader.
#include "sim/RadioSim.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace korvane::sim {

namespace {

constexpr std::uint8_t kSync = 0x7F;
constexpr std::uint8_t kAck = 0x79;
constexpr std::uint8_t kNack = 0x1F;
constexpr std::uint8_t kGetVersion = 0x01;
constexpr std::uint8_t kGetId = 0x02;
constexpr std::uint8_t kReadMemory = 0x11;
constexpr std::uint8_t kGo = 0x21;
constexpr std::uint8_t kWriteMemory = 0x31;
constexpr std::uint8_t kEraseMemory = 0x43;
constexpr std::uint8_t kWriteUnprotect = 0x73;
constexpr std::uint8_t kReadoutUnprotect = 0x92;
constexpr std::uint8_t kGlobalErase = 0xFF;
constexpr std::uint8_t kErased = 0xFF;
constexpr std::uint8_t kBootloaderVersion = 0x22;
constexpr std::array<std::uint8_t, 3> kIdReply = {0x01, 0x04, 0x10};  // N - 1, PID 0x0410
constexpr std::array<std::uint8_t, 12> kUniqueId = {0x4B, 0x4F, 0x52, 0x56, 0x41, 0x4E,
                                                    0x45, 0x2D, 0x53, 0x49, 0x4D, 0x31};
constexpr std::size_t kCommandSize = 2;
constexpr std::size_t kAddressSize = 5;

constexpr std::uint8_t kSolicit = 0x00;
constexpr std::uint8_t kLoaderHere = 'G';
constexpr std::uint8_t kHello = 'O';
constexpr std::uint8_t kHelloReply = '+';
constexpr std::uint8_t kReadyRequest = '-';
constexpr std::uint8_t kAccept = '!';
constexpr std::uint8_t kRefuse = '@';
constexpr std::uint8_t kBlockHeader = 0x00;
constexpr std::uint8_t kEndMark = 0xFF;
constexpr std::size_t kBlockSize = 4096;
constexpr std::size_t kLoaderFrameSize = 4099;  // a block and the end frame alike

constexpr std::uint8_t Complement(std::uint8_t b)
{
    return static_cast<std::uint8_t>(~b);
}

struct StepNameEntry {
    SimStep step;
    std::string_view name;
};
constexpr std::array<StepNameEntry, 22> kStepNames = {{
    {SimStep::Sync, "sync"},
    {SimStep::ReadoutUnprotect, "readout-unprotect"},
    {SimStep::SyncAfterReadoutUnprotect, "sync-after-readout-unprotect"},
    {SimStep::WriteUnprotect, "write-unprotect"},
    {SimStep::SyncAfterWriteUnprotect, "sync-after-write-unprotect"},
    {SimStep::EraseMemory, "erase"},
    {SimStep::GlobalErase, "global-erase"},
    {SimStep::ReadMemory, "read-memory"},
    {SimStep::ReadAddress, "read-address"},
    {SimStep::ReadLength, "read-length"},
    {SimStep::GetVersion, "get-version"},
    {SimStep::GetId, "get-id"},
    {SimStep::WriteMemory, "write-memory"},
    {SimStep::WriteAddress, "write-address"},
    {SimStep::WriteData, "write-data"},
    {SimStep::Go, "go"},
    {SimStep::GoAddress, "go-address"},
    {SimStep::Solicit, "solicit"},
    {SimStep::Hello, "hello"},
    {SimStep::Ready, "ready"},
    {SimStep::Block, "block"},
    {SimStep::EndFrame, "end-frame"},
}};

std::optional<int> ParseNumber(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

}  // namespace

SimOptions SimOptions::Stm32F1Timing()
{
    SimOptions options;
    // The line and the chip take about a millisecond to answer anything.
    options.replyDelay = std::chrono::milliseconds(1);
    options.eraseDuration = std::chrono::milliseconds(40);
    options.resetDuration = std::chrono::milliseconds(3);
    return options;
}

SimOptions SimOptions::SlowMassEraseTiming()
{
    SimOptions options;
    options.replyDelay = std::chrono::milliseconds(1);
    options.eraseDuration = std::chrono::seconds(10);
    options.resetDuration = std::chrono::milliseconds(20);
    return options;
}

std::string_view StepName(SimStep step)
{
    for (const auto& entry : kStepNames) {
        if (entry.step == step) return entry.name;
    }
    return "unknown";
}

std::optional<SimStep> ParseStep(std::string_view name)
{
    for (const auto& entry : kStepNames) {
        if (entry.name == name) return entry.step;
    }
    return std::nullopt;
}

std::optional<FaultAction> ParseFaultAction(std::string_view name)
{
    if (name == "nack") return FaultAction::Nack;
    if (name == "silence") return FaultAction::Silence;
    if (name == "refuse") return FaultAction::Refuse;
    if (name == "hangup") return FaultAction::HangUp;
    if (name == "flood") return FaultAction::Flood;
    if (name == "corrupt") return FaultAction::Corrupt;
    return std::nullopt;
}

std::optional<Fault> ParseFault(std::string_view text)
{
    std::vector<std::string_view> parts;
    while (true) {
        const auto colon = text.find(':');
        parts.push_back(text.substr(0, colon));
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
    }
    if (parts.size() < 2 || parts.size() > 4) return std::nullopt;
    const auto step = ParseStep(parts[0]);
    const auto action = ParseFaultAction(parts[1]);
    if (!step || !action) return std::nullopt;
    Fault fault{*step, *action};
    if (parts.size() > 2) {
        const auto first = ParseNumber(parts[2]);
        if (!first) return std::nullopt;
        fault.first = *first;
    }
    if (parts.size() > 3) {
        const auto count = ParseNumber(parts[3]);
        if (!count) return std::nullopt;
        fault.count = *count;
    }
    return fault;
}

RadioSim::RadioSim(SimOptions options)
    : m_options(std::move(options)), m_flash(kFlashSize, kOldFirmware)
{
    if (m_options.startInLoader) m_state = State::LoaderIdle;
}

void RadioSim::Receive(std::span<const std::uint8_t> bytes, SimTime now)
{
    if (!m_results.hungUp)
        m_results.received.insert(m_results.received.end(), bytes.begin(), bytes.end());
    for (std::uint8_t byte : bytes) {
        // A hung-up line carries nothing; an erasing or resetting chip misses what comes.
        if (m_results.hungUp || now < m_busyUntil) return;
        if (m_state >= State::LoaderIdle) {
            OnLoaderByte(byte, now);
        } else {
            OnRomByte(byte, now);
        }
    }
}

std::vector<std::uint8_t> RadioSim::TakeDue(SimTime now)
{
    std::vector<std::uint8_t> due;
    while (!m_out.empty() && m_out.front().first <= now) {
        due.push_back(m_out.front().second);
        m_out.pop_front();
    }
    return due;
}

std::optional<SimTime> RadioSim::NextDue() const
{
    if (m_out.empty()) return std::nullopt;
    return m_out.front().first;
}

SimResults RadioSim::Results() const
{
    SimResults results = m_results;
    results.flash.assign(m_flash.begin(),
                         m_flash.begin() + static_cast<std::ptrdiff_t>(m_flashEnd));
    return results;
}

void RadioSim::Reply(std::initializer_list<std::uint8_t> bytes, SimTime at)
{
    Reply(std::span<const std::uint8_t>(bytes.begin(), bytes.size()), at);
}

void RadioSim::Reply(std::span<const std::uint8_t> bytes, SimTime at)
{
    SimTime when = at + m_options.replyDelay;
    if (!m_out.empty()) when = std::max(when, m_out.back().first);  // the line keeps order
    for (std::uint8_t b : bytes) m_out.emplace_back(when, b);
}

std::optional<FaultAction> RadioSim::NextFault(SimStep step)
{
    return FaultFor(step, m_occurrences[step]++);
}

std::optional<FaultAction> RadioSim::FaultFor(SimStep step, int occurrence) const
{
    for (const Fault& fault : m_options.faults) {
        if (fault.step == step && occurrence >= fault.first &&
            occurrence < fault.first + fault.count) {
            return fault.action;
        }
    }
    return std::nullopt;
}

bool RadioSim::Faulted(SimStep step, SimTime now, std::uint8_t refusal, std::uint8_t answer)
{
    const auto fault = NextFault(step);
    if (!fault) return false;
    switch (*fault) {
        case FaultAction::Flood:
            Reply(std::vector<std::uint8_t>(kFloodBytes, answer), now);
            return false;
        case FaultAction::Corrupt:
            return false;  // only a Write Memory frame can be corrupted
        case FaultAction::Nack:
        case FaultAction::Refuse:
            Reply({refusal}, now);
            break;
        case FaultAction::Silence:
            break;
        case FaultAction::HangUp:
            m_results.hungUp = true;
            break;
    }
    return true;
}

void RadioSim::Expect(State state, std::size_t bytes)
{
    m_state = state;
    m_wanted = bytes;
    m_rx.clear();
}

void RadioSim::ResetDevice(SimTime from, SimStep nextSync)
{
    m_busyUntil = from + m_options.resetDuration;
    m_syncStep = nextSync;
    Expect(State::WaitSync, 1);
}

std::optional<std::uint32_t> RadioSim::TakeAddress(const std::vector<std::uint8_t>& rx)
{
    std::uint8_t checksum = 0;
    std::uint32_t address = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        address = (address << 8) | rx[i];
        checksum ^= rx[i];
    }
    if (checksum != rx[4]) return std::nullopt;
    return address;
}

void RadioSim::OnRomByte(std::uint8_t byte, SimTime now)
{
    if (m_state == State::WaitSync) {
        if (byte != kSync) return;  // only the synchronisation byte wakes the bootloader
        if (Faulted(m_syncStep, now, kNack, kAck)) return;
        Reply({kAck}, now);
        m_syncStep = SimStep::Sync;
        Expect(State::Command, kCommandSize);
        return;
    }
    m_rx.push_back(byte);
    if (m_state == State::WriteData && m_rx.size() == 1) {
        m_wanted = std::size_t{byte} + 3;  // N - 1, N bytes, checksum
        m_frameFault = NextFault(SimStep::WriteData);
    }
    if (m_state == State::WriteData && m_rx.size() == m_wanted / 2 &&
        m_frameFault == FaultAction::HangUp) {
        m_results.hungUp = true;  // the line drops in the middle of the frame
        return;
    }
    if (m_rx.size() < m_wanted) return;

    const State state = m_state;
    const std::vector<std::uint8_t> rx = std::move(m_rx);
    Expect(State::Command, kCommandSize);  // where every step goes back to
    switch (state) {
        case State::Command:
            OnCommand(rx, now);
            break;
        case State::ReadAddress: {
            const auto address = TakeAddress(rx);
            if (!address) return Reply({kNack}, now);
            if (Faulted(SimStep::ReadAddress, now, kNack)) return;
            m_address = *address;
            Reply({kAck}, now);
            return Expect(State::ReadLength, kCommandSize);
        }
        case State::ReadLength: {
            if (rx[1] != Complement(rx[0])) return Reply({kNack}, now);
            if (Faulted(SimStep::ReadLength, now, kNack)) return;
            const std::size_t count = std::size_t{rx[0]} + 1;
            std::vector<std::uint8_t> reply{kAck};
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint32_t at = m_address + static_cast<std::uint32_t>(i);
                if (at >= kDeviceIdAddress && at < kDeviceIdAddress + kUniqueId.size()) {
                    reply.push_back(kUniqueId[at - kDeviceIdAddress]);
                } else if (at >= kFlashBase && at < kFlashBase + kFlashSize) {
                    reply.push_back(m_flash[at - kFlashBase]);
                } else {
                    reply.push_back(0);
                }
            }
            return Reply(reply, now);
        }
        case State::WriteAddress: {
            const auto address = TakeAddress(rx);
            if (!address || *address < kFlashBase || *address >= kFlashBase + kFlashSize) {
                return Reply({kNack}, now);
            }
            if (Faulted(SimStep::WriteAddress, now, kNack)) return;
            m_address = *address;
            Reply({kAck}, now);
            return Expect(State::WriteData, 1);
        }
        case State::WriteData: {
            std::uint8_t checksum = 0;
            for (std::size_t i = 0; i + 1 < rx.size(); ++i) checksum ^= rx[i];
            const std::size_t count = rx.size() - 2;
            const std::size_t offset = m_address - kFlashBase;
            if (checksum != rx.back() || offset + count > kFlashSize) return Reply({kNack}, now);
            if (m_frameFault == FaultAction::Silence) return;
            if (m_frameFault && m_frameFault != FaultAction::Corrupt) return Reply({kNack}, now);
            // Programming can only clear bits: an unerased flash keeps its old ones.
            for (std::size_t i = 0; i < count; ++i) m_flash[offset + i] &= rx[1 + i];
            if (m_frameFault == FaultAction::Corrupt) {
                // A bit that did not take, in the middle of the frame.
                const std::size_t flipped = offset + count / 2;
                m_flash[flipped] = static_cast<std::uint8_t>(m_flash[flipped] ^ 0x10);
                ++m_results.framesCorrupted;
                if (!m_results.corruptedAt) {
                    m_results.corruptedAt = static_cast<std::uint32_t>(kFlashBase + flipped);
                }
            }
            m_flashEnd = std::max(m_flashEnd, offset + count);
            ++m_results.framesWritten;
            return Reply({kAck}, now);
        }
        case State::GoAddress: {
            const auto address = TakeAddress(rx);
            if (!address || *address != kFlashBase) return Reply({kNack}, now);
            if (Faulted(SimStep::GoAddress, now, kNack)) return;
            Reply({kAck}, now);
            m_results.started = true;
            return Expect(State::LoaderIdle, 1);
        }
        case State::EraseCode: {
            if (rx[0] != kGlobalErase || rx[1] != Complement(kGlobalErase)) {
                return Reply({kNack}, now);
            }
            if (Faulted(SimStep::GlobalErase, now, kNack)) return;
            std::fill(m_flash.begin(), m_flash.end(), kErased);
            m_results.erased = true;
            m_busyUntil = now + m_options.eraseDuration;
            return Reply({kAck}, m_busyUntil);
        }
        default:
            return;
    }
}

void RadioSim::OnCommand(const std::vector<std::uint8_t>& rx, SimTime now)
{
    const std::uint8_t command = rx[0];
    if (rx[1] != Complement(command)) return Reply({kNack}, now);
    switch (command) {
        case kGetVersion:
            if (Faulted(SimStep::GetVersion, now, kNack)) return;
            return Reply({kAck, kBootloaderVersion, 0x00, 0x00, kAck}, now);
        case kGetId:
            if (Faulted(SimStep::GetId, now, kNack)) return;
            return Reply({kAck, kIdReply[0], kIdReply[1], kIdReply[2], kAck}, now);
        case kReadMemory:
            if (Faulted(SimStep::ReadMemory, now, kNack)) return;
            Reply({kAck}, now);
            return Expect(State::ReadAddress, kAddressSize);
        case kGo:
            if (Faulted(SimStep::Go, now, kNack)) return;
            Reply({kAck}, now);
            return Expect(State::GoAddress, kAddressSize);
        case kWriteMemory:
            if (Faulted(SimStep::WriteMemory, now, kNack)) return;
            Reply({kAck}, now);
            return Expect(State::WriteAddress, kAddressSize);
        case kEraseMemory:
            if (Faulted(SimStep::EraseMemory, now, kNack)) return;
            Reply({kAck}, now);
            return Expect(State::EraseCode, kCommandSize);
        case kWriteUnprotect:
            if (Faulted(SimStep::WriteUnprotect, now, kNack)) return;
            Reply({kAck, kAck}, now);
            return ResetDevice(now, SimStep::SyncAfterWriteUnprotect);
        case kReadoutUnprotect: {
            if (Faulted(SimStep::ReadoutUnprotect, now, kNack)) return;
            // Removing read protection erases the whole flash before the second ACK.
            Reply({kAck}, now);
            std::fill(m_flash.begin(), m_flash.end(), kErased);
            m_results.erased = true;
            const SimTime erased = now + m_options.eraseDuration;
            Reply({kAck}, erased);
            return ResetDevice(erased, SimStep::SyncAfterReadoutUnprotect);
        }
        default:
            return Reply({kNack}, now);
    }
}

void RadioSim::OnLoaderByte(std::uint8_t byte, SimTime now)
{
    switch (m_state) {
        case State::LoaderIdle:
        case State::LoaderGreeted:
            if (byte == kSolicit) {
                if (Faulted(SimStep::Solicit, now, kNack)) return;
                Reply({kLoaderHere}, now);
                m_state = State::LoaderGreeted;
            } else if (byte == kHello && m_state == State::LoaderGreeted) {
                if (Faulted(SimStep::Hello, now, kRefuse)) return;
                Reply({kHelloReply}, now);
                m_state = State::LoaderHello;
            }
            return;
        case State::LoaderHello:
            if (byte != kReadyRequest) return;
            if (!Faulted(SimStep::Ready, now, kRefuse, kAccept)) Reply({kAccept}, now);
            Expect(State::LoaderReceiving, kLoaderFrameSize);
            return;
        case State::LoaderReceiving:
            if (m_rx.empty() && byte != kBlockHeader && byte != kEndMark) return;
            m_rx.push_back(byte);
            if (m_rx.size() == 2 && m_rx[0] == kBlockHeader) {
                // Block faults are keyed by the block number the program sends.
                m_blockFault = FaultFor(SimStep::Block, m_rx[1]);
            }
            if (m_rx[0] == kBlockHeader && m_rx.size() == kLoaderFrameSize / 2 &&
                m_blockFault == FaultAction::HangUp) {
                m_results.hungUp = true;  // the line drops in the middle of the block
                return;
            }
            if (m_rx.size() == kLoaderFrameSize) OnLoaderFrame(now);
            return;
        default:
            return;
    }
}

void RadioSim::OnLoaderFrame(SimTime now)
{
    const std::vector<std::uint8_t> frame = std::move(m_rx);
    Expect(State::LoaderReceiving, kLoaderFrameSize);
    if (frame[0] == kEndMark) {
        if (frame[1] != kEndMark) return;
        m_results.endFrame = true;
        if (!Faulted(SimStep::EndFrame, now, kRefuse)) Reply({kAccept}, now);
        m_state = State::LoaderIdle;  // the loader starts the program and waits again
        return;
    }
    if (m_blockFault == FaultAction::Silence) return;
    if (m_blockFault) return Reply({kRefuse}, now);
    const auto data = std::span(frame).subspan(2, kBlockSize);
    std::uint8_t sum = 0;
    for (std::uint8_t b : data) sum = static_cast<std::uint8_t>(sum + b);
    const bool inOrder = frame[1] == m_results.blocksAccepted;
    if (sum != frame.back() || !inOrder) return Reply({kRefuse}, now);
    m_results.program.insert(m_results.program.end(), data.begin(), data.end());
    ++m_results.blocksAccepted;
    Reply({kAccept}, now);
}

}  // namespace korvane::sim
