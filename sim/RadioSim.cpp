// The simulated radio's protocol engine: a byte-driven state machine for the
// STM32 bootloader commands the upgrade uses, then the application loader.
#include "sim/RadioSim.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace korvane::sim {

namespace {

constexpr std::uint8_t kSync = 0x7F;
constexpr std::uint8_t kGet = 0x00;
constexpr std::uint8_t kAck = 0x79;
constexpr std::uint8_t kNack = 0x1F;
constexpr std::uint8_t kGetVersion = 0x01;
constexpr std::uint8_t kGetId = 0x02;
constexpr std::uint8_t kReadMemory = 0x11;
constexpr std::uint8_t kGo = 0x21;
constexpr std::uint8_t kWriteMemory = 0x31;
constexpr std::uint8_t kEraseMemory = 0x43;
constexpr std::uint8_t kExtendedErase = 0x44;
constexpr std::uint8_t kWriteUnprotect = 0x73;
constexpr std::uint8_t kReadoutProtect = 0x82;
constexpr std::uint8_t kReadoutUnprotect = 0x92;
constexpr std::uint8_t kGlobalErase = 0xFF;
constexpr std::uint16_t kExtendedMassErase = 0xFFFF;
constexpr std::uint16_t kExtendedSpecialErase = 0xFFF0;  // FFF0-FFFF: no page list follows
constexpr std::uint8_t kErased = 0xFF;
constexpr std::uint8_t kFirstExtendedEraseVersion = 0x30;  // protocol 3.0
constexpr std::uint8_t kReadProtectedOption = 0x01;        // Get Version's option byte 1
constexpr std::size_t kCommandSize = 2;
constexpr std::size_t kAddressSize = 5;
constexpr std::size_t kWordSize = 4;  // a Write Memory's N+1 is a multiple of this
constexpr std::size_t kProgramUnit = 256;
constexpr std::chrono::nanoseconds kOneSecond = std::chrono::seconds(1);
constexpr unsigned kBitsPerByte = 11;  // start, 8 data, even parity, stop
constexpr std::size_t KiB = 1024;

// Parts whose flash is cut into sectors of 16, 64 and 128 KiB (the F2 and F4
// families), and parts with 2 KiB pages; all others have 1 KiB pages.
constexpr std::array<std::uint16_t, 10> kSectorParts = {0x411, 0x413, 0x419, 0x421, 0x423,
                                                        0x431, 0x433, 0x441, 0x458, 0x463};
constexpr std::array<std::uint16_t, 11> kTwoKiBPageParts = {
    0x414, 0x418, 0x428, 0x430, 0x422, 0x432, 0x438, 0x439, 0x442, 0x446, 0x448};

// Where page (or sector) `page` starts in the flash, and how long it is.
std::pair<std::size_t, std::size_t> PageSpan(std::uint16_t productId, std::size_t page)
{
    const auto has = [productId](const auto& parts) {
        return std::find(parts.begin(), parts.end(), productId) != parts.end();
    };
    if (has(kSectorParts)) {
        if (page < 4) return {page * 16 * KiB, 16 * KiB};
        if (page == 4) return {64 * KiB, 64 * KiB};
        return {(page - 4) * 128 * KiB, 128 * KiB};
    }
    const std::size_t size = has(kTwoKiBPageParts) ? 2 * KiB : KiB;
    return {page * size, size};
}

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
constexpr std::array<StepNameEntry, 24> kStepNames = {{
    {SimStep::Sync, "sync"},
    {SimStep::ReadoutUnprotect, "readout-unprotect"},
    {SimStep::SyncAfterReadoutUnprotect, "sync-after-readout-unprotect"},
    {SimStep::WriteUnprotect, "write-unprotect"},
    {SimStep::SyncAfterWriteUnprotect, "sync-after-write-unprotect"},
    {SimStep::EraseMemory, "erase"},
    {SimStep::ExtendedErase, "extended-erase"},
    {SimStep::Get, "get"},
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
    options.programDuration = std::chrono::milliseconds(7);
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

std::vector<std::uint8_t> OfferedCommands(std::uint8_t bootloaderVersion)
{
    const std::uint8_t erase =
        bootloaderVersion >= kFirstExtendedEraseVersion ? kExtendedErase : kEraseMemory;
    return {kGet,         kGetVersion, kGetId,          kReadMemory,     kGo,
            kWriteMemory, erase,       kWriteUnprotect, kReadoutProtect, kReadoutUnprotect};
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

namespace {

// Where the chip keeps its unique id and its flash-size register (16 bits, in
// KiB) in system memory: the F1 layout, or the F2/F4 one for their product ids.
struct SystemLayout {
    std::uint32_t uid;
    std::uint32_t flashSize;
};

SystemLayout LayoutOf(std::uint16_t productId)
{
    constexpr std::array<std::uint16_t, 6> kF2F4Ids = {0x411, 0x413, 0x419, 0x421, 0x423, 0x431};
    if (std::find(kF2F4Ids.begin(), kF2F4Ids.end(), productId) != kF2F4Ids.end()) {
        return {0x1FFF7A10, 0x1FFF7A22};
    }
    return {RadioSim::kDeviceIdAddress, 0x1FFFF7E0};
}

}  // namespace

std::optional<std::uint8_t> RadioSim::SystemMemoryByte(std::uint32_t at) const
{
    const SystemLayout layout = LayoutOf(m_options.productId);
    const auto& uid = m_options.uniqueId;
    if (at >= layout.uid && at < layout.uid + uid.size()) return uid[at - layout.uid];
    constexpr std::uint16_t kFlashKiB = kFlashSize / 1024;
    if (at == layout.flashSize) return static_cast<std::uint8_t>(kFlashKiB & 0xFF);
    if (at == layout.flashSize + 1) return static_cast<std::uint8_t>(kFlashKiB >> 8);
    return std::nullopt;
}

RadioSim::RadioSim(SimOptions options)
    : m_options(std::move(options)),
      m_readProtected(m_options.readProtected),
      m_flash(kFlashSize, kOldFirmware)
{
    if (m_options.startInLoader) m_state = State::LoaderIdle;
    if (m_options.baud > 0) m_byteTime = kOneSecond * kBitsPerByte / m_options.baud;
}

void RadioSim::Receive(std::span<const std::uint8_t> bytes, SimTime now)
{
    Advance(now);
    if (m_byteTime.count() == 0) {
        if (!m_results.hungUp)
            m_results.received.insert(m_results.received.end(), bytes.begin(), bytes.end());
        for (std::uint8_t byte : bytes) {
            // A hung-up line carries nothing; an erasing or resetting chip misses what comes.
            if (m_results.hungUp || now < m_busyUntil) return;
            OnByte(byte, now);
        }
        return;
    }
    // On a wire the bytes follow each other, each 11 bits long; a byte counts
    // as come once its stop bit has.
    for (std::uint8_t byte : bytes) {
        m_rxLineFree = std::max(m_rxLineFree, std::chrono::nanoseconds(now)) + m_byteTime;
        m_in.emplace_back(std::chrono::ceil<SimTime>(m_rxLineFree), byte);
    }
    Advance(now);
}

void RadioSim::Advance(SimTime now)
{
    while (!m_in.empty() && m_in.front().first <= now) {
        const auto [at, byte] = m_in.front();
        m_in.pop_front();
        if (m_results.hungUp) continue;
        m_results.received.push_back(byte);
        if (at >= m_busyUntil) OnByte(byte, at);
    }
}

void RadioSim::OnByte(std::uint8_t byte, SimTime at)
{
    if (m_state >= State::LoaderIdle) {
        OnLoaderByte(byte, at);
    } else {
        OnRomByte(byte, at);
    }
}

std::vector<std::uint8_t> RadioSim::TakeDue(SimTime now)
{
    Advance(now);
    std::vector<std::uint8_t> due;
    while (!m_out.empty() && m_out.front().first <= now) {
        due.push_back(m_out.front().second);
        m_out.pop_front();
    }
    return due;
}

std::optional<SimTime> RadioSim::NextDue(SimTime coalesce) const
{
    std::optional<SimTime> next;
    for (const auto* queue : {&m_in, &m_out}) {
        if (queue->empty()) continue;
        const SimTime at = std::min(queue->front().first + coalesce, queue->back().first);
        next = next ? std::min(*next, at) : at;
    }
    return next;
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
    m_results.answered += bytes.size();
    for (std::uint8_t b : bytes) {
        if (m_byteTime.count() == 0) {
            m_out.emplace_back(when, b);
            continue;
        }
        m_txLineFree = std::max(m_txLineFree, std::chrono::nanoseconds(when)) + m_byteTime;
        m_out.emplace_back(std::chrono::ceil<SimTime>(m_txLineFree), b);
    }
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
    m_results.chipTime += m_options.resetDuration;
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
    if (m_state == State::EraseCode && m_rx.size() == 1 && byte != kGlobalErase) {
        m_wanted = std::size_t{byte} + 3;  // N - 1, N page numbers, checksum
    }
    if (m_state == State::ExtendedEraseCode && m_rx.size() == 2) {
        const auto code = static_cast<std::uint16_t>((m_rx[0] << 8) | m_rx[1]);
        // N - 1 and then N two-byte page numbers, or a special code; a checksum last.
        m_wanted = code >= kExtendedSpecialErase ? 3 : 2 + 2 * (std::size_t{code} + 1) + 1;
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
    OnRomFrame(state, rx, now);
}

void RadioSim::OnRomFrame(State state, const std::vector<std::uint8_t>& rx, SimTime now)
{
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
                if (const auto system = SystemMemoryByte(at)) {
                    reply.push_back(*system);
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
            // A real chip programs whole words; a strict one refuses anything else.
            if (m_options.strict && count % kWordSize != 0) return Reply({kNack}, now);
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
            const SimTime programming =
                m_options.programDuration * static_cast<SimTime::rep>(count) / kProgramUnit;
            m_results.chipTime += programming;
            Reply({kAck}, now + programming);
            m_results.lastWriteAckAt = m_out.back().first;
            return;
        }
        case State::GoAddress: {
            const auto address = TakeAddress(rx);
            if (!address || *address != kFlashBase) return Reply({kNack}, now);
            if (Faulted(SimStep::GoAddress, now, kNack)) return;
            Reply({kAck}, now);
            m_results.started = true;
            return Expect(State::LoaderIdle, 1);
        }
        case State::EraseCode:
            return OnErase(rx, false, now);
        case State::ExtendedEraseCode:
            return OnErase(rx, true, now);
        default:
            return;
    }
}

void RadioSim::OnErase(const std::vector<std::uint8_t>& rx, bool extended, SimTime now)
{
    std::uint8_t checksum = 0;
    for (std::size_t i = 0; i + 1 < rx.size(); ++i) checksum ^= rx[i];
    const bool global = extended ? ((rx[0] << 8) | rx[1]) == kExtendedMassErase && rx[2] == checksum
                                 : rx[0] == kGlobalErase && rx[1] == Complement(kGlobalErase);
    if (global) {
        if (Faulted(SimStep::GlobalErase, now, kNack)) return;
        std::fill(m_flash.begin(), m_flash.end(), kErased);
    } else {
        // A page list; the bank erases of dual-bank parts are not served.
        const bool special = extended && ((rx[0] << 8) | rx[1]) >= kExtendedSpecialErase;
        if (special || rx.size() < 3 || checksum != rx.back()) return Reply({kNack}, now);
        const std::size_t header = extended ? 2 : 1;
        const std::size_t width = extended ? 2 : 1;
        for (std::size_t i = header; i + 1 < rx.size(); i += width) {
            ErasePage(extended ? std::size_t{rx[i]} << 8 | rx[i + 1] : rx[i]);
        }
    }
    m_results.erased = true;
    m_results.chipTime += m_options.eraseDuration;
    m_busyUntil = now + m_options.eraseDuration;
    Reply({kAck}, m_busyUntil);
}

void RadioSim::ErasePage(std::size_t page)
{
    const auto [begin, size] = PageSpan(m_options.productId, page);
    if (begin >= kFlashSize) return;
    const auto first = m_flash.begin() + static_cast<std::ptrdiff_t>(begin);
    std::fill(first, first + static_cast<std::ptrdiff_t>(std::min(size, kFlashSize - begin)),
              kErased);
}

bool RadioSim::RefusedWhileProtected(SimTime now)
{
    if (!m_options.strict || !m_readProtected) return false;
    Reply({kNack}, now);
    return true;
}

void RadioSim::OnCommand(const std::vector<std::uint8_t>& rx, SimTime now)
{
    const std::uint8_t command = rx[0];
    if (rx[1] != Complement(command)) return Reply({kNack}, now);
    const bool extendedErase = m_options.bootloaderVersion >= kFirstExtendedEraseVersion;
    switch (command) {
        case kGet: {
            if (Faulted(SimStep::Get, now, kNack)) return;
            const auto offered = OfferedCommands(m_options.bootloaderVersion);
            // ACK, the count of bytes that follow less one, the version, the codes, ACK.
            Reply({kAck, static_cast<std::uint8_t>(offered.size()), m_options.bootloaderVersion},
                  now);
            Reply(offered, now);
            return Reply({kAck}, now);
        }
        case kGetVersion: {
            if (Faulted(SimStep::GetVersion, now, kNack)) return;
            const std::uint8_t option = m_readProtected ? kReadProtectedOption : 0x00;
            return Reply({kAck, m_options.bootloaderVersion, option, 0x00, kAck}, now);
        }
        case kGetId: {
            if (Faulted(SimStep::GetId, now, kNack)) return;
            const auto pid = m_options.productId;
            return Reply({kAck, 0x01, static_cast<std::uint8_t>(pid >> 8),
                          static_cast<std::uint8_t>(pid & 0xFF), kAck},
                         now);
        }
        case kReadMemory:
            if (Faulted(SimStep::ReadMemory, now, kNack) || RefusedWhileProtected(now)) return;
            Reply({kAck}, now);
            return Expect(State::ReadAddress, kAddressSize);
        case kGo:
            if (Faulted(SimStep::Go, now, kNack) || RefusedWhileProtected(now)) return;
            Reply({kAck}, now);
            return Expect(State::GoAddress, kAddressSize);
        case kWriteMemory:
            if (Faulted(SimStep::WriteMemory, now, kNack) || RefusedWhileProtected(now)) return;
            if (!m_results.firstWriteAt) {
                // From the command's first bit: the two bytes came before now.
                m_results.firstWriteAt =
                    now - std::chrono::floor<SimTime>(m_byteTime * kCommandSize);
            }
            Reply({kAck}, now);
            return Expect(State::WriteAddress, kAddressSize);
        case kEraseMemory:
            // Protocol 3.x bootloaders (F2, F4, F7 and later) have only Extended Erase.
            if (extendedErase) return Reply({kNack}, now);
            if (Faulted(SimStep::EraseMemory, now, kNack) || RefusedWhileProtected(now)) return;
            Reply({kAck}, now);
            return Expect(State::EraseCode, kCommandSize);
        case kExtendedErase:
            if (!extendedErase) return Reply({kNack}, now);
            if (Faulted(SimStep::ExtendedErase, now, kNack) || RefusedWhileProtected(now)) return;
            Reply({kAck}, now);
            return Expect(State::ExtendedEraseCode, kCommandSize);
        case kReadoutProtect:
            // Setting the protection resets the chip, as removing it does.
            Reply({kAck, kAck}, now);
            m_readProtected = true;
            return ResetDevice(now, SimStep::Sync);
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
            m_results.chipTime += m_options.eraseDuration;
            m_readProtected = false;
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
