// The bootloader command layer and what the ROM stage and `korvane info` make
// of its answers, on the virtual clock: refusals end every wait at once, the
// last frame is padded to whole words under patient pacing only, the chip's
// identity is parsed (and malformed replies refused), a read-back is the only
// way to "verified", and the identity query never changes the radio.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "firmware/ChipQuery.h"
#include "firmware/RomBootloaderStage.h"
#include "sim/MemoryRadioPort.h"
#include "tests/firmware/FirmwareTestSupport.h"
#include "tests/support/ScriptedPort.h"
#include "tests/support/VirtualSleeper.h"

namespace korvane::firmware::test {
namespace {

using namespace std::chrono_literals;
using sim::FaultAction;
using sim::SimStep;

struct RomRun {
    explicit RomRun(sim::SimOptions options, Pacing pacing, bool verify = false)
        : radio(std::move(options)),
          port(radio, clock),
          settings(dir.Path() / "Sys.dat"),
          context{exchange, work, report, pacing, verify}
    {
    }
    // The failure's description; empty when the stage completed.
    std::string Run(const Bytes& boot)
    {
        try {
            ImageSource image(ImageRole::Boot, boot);
            verified = RomBootloaderStage(context, image).Run();
        } catch (const korvane::Error& error) {
            hint = error.Hint();
            return error.what();
        }
        return {};
    }
    std::chrono::milliseconds LastWriteAt() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(port.Writes().back().at);
    }
    // The data frames' payload sizes N, in order.
    std::vector<std::size_t> FramePayloads() const
    {
        std::vector<std::size_t> sizes;
        const auto& writes = port.Writes();
        for (std::size_t i = 2; i < writes.size(); ++i) {
            if (writes[i - 2].bytes == Bytes{0x31, 0xCE})
                sizes.push_back(writes[i].bytes.size() - 2);
        }
        return sizes;
    }

    ScratchDir dir;
    testing::VirtualSleeper clock;
    sim::RadioSim radio;
    sim::MemoryRadioPort port;
    settings::SettingsStore settings;
    serial::ByteExchange exchange{port, clock};
    WorkBuffer work{};
    JobReport report{settings};
    StageContext context;
    bool verified = false;
    std::string hint;
};

TEST(Bootloader, ARefusalEndsTheWaitAtOnceAtEveryStepInBothPacings)
{
    for (SimStep step :
         {SimStep::ReadoutUnprotect, SimStep::SyncAfterReadoutUnprotect, SimStep::WriteUnprotect,
          SimStep::EraseMemory, SimStep::GlobalErase, SimStep::ReadMemory, SimStep::ReadAddress,
          SimStep::ReadLength, SimStep::GetVersion, SimStep::GetId, SimStep::WriteMemory,
          SimStep::WriteAddress, SimStep::WriteData, SimStep::Go, SimStep::GoAddress}) {
        for (Pacing pacing : {Pacing::Exact, Pacing::Patient}) {
            SCOPED_TRACE(std::string(sim::StepName(step)) + " " + PacingName(pacing));
            RomRun run(WithFault({step, FaultAction::Nack}), pacing);
            const std::string failure = run.Run(Pattern(300));
            EXPECT_NE(failure.find("refused"), std::string::npos) << failure;
            EXPECT_EQ(run.clock.Now(), run.LastWriteAt());
        }
    }
    // Behind a part whose mass erase takes 30 s, a refused Readout Unprotect
    // used to wait for its second ACK's ceiling with patient pacing.
    sim::SimOptions slow = sim::SimOptions::Stm32F1Timing();
    slow.eraseDuration = 30s;
    slow.faults = {{SimStep::ReadoutUnprotect, FaultAction::Nack}};
    RomRun run(slow, Pacing::Patient);
    EXPECT_NE(run.Run(Pattern(10)).find("refused Readout Unprotect"), std::string::npos);
    EXPECT_LE(run.clock.Now() - run.LastWriteAt(), 2ms);
}

TEST(Bootloader, PatientPacingGoesOnWithABootloaderSynchronisedBefore)
{
    for (Pacing pacing : {Pacing::Exact, Pacing::Patient}) {
        SCOPED_TRACE(PacingName(pacing));
        RomRun run(sim::SimOptions{}, pacing);
        const std::array<std::uint8_t, 1> sync{0x7F};
        run.radio.Receive(sync, sim::SimTime{0});  // `korvane info` synchronised it
        run.radio.TakeDue(sim::SimTime{0});
        const std::string failure = run.Run(Pattern(10));
        EXPECT_EQ(failure.empty(), pacing == Pacing::Patient) << failure;
    }
}

TEST(Bootloader, PatientPacingPadsTheLastFrameToWholeWordsAndExactSendsItAsShipped)
{
    for (std::size_t length : {1u, 3u, 4u, 5u, 255u, 256u, 257u}) {
        SCOPED_TRACE(length);
        const Bytes image = Pattern(length, 3);
        RomRun patient(sim::SimOptions{}, Pacing::Patient, true);
        ASSERT_EQ(patient.Run(image), "");
        EXPECT_TRUE(patient.verified);  // the image's own bytes are compared
        Bytes padded = image;
        padded.resize((length + 3) / 4 * 4, 0xFF);
        EXPECT_EQ(patient.radio.Results().flash, padded);
        for (std::size_t n : patient.FramePayloads()) EXPECT_EQ(n % 4, 0u) << n;
        EXPECT_EQ(patient.report.Record().bootBytesSent, static_cast<std::int64_t>(length));

        RomRun exact(sim::SimOptions{}, Pacing::Exact);
        ASSERT_EQ(exact.Run(image), "");
        EXPECT_EQ(exact.radio.Results().flash, image);
        const std::vector<std::size_t> frames = exact.FramePayloads();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back(), length % 256 == 0 ? 256 : length % 256);
    }
}

TEST(Bootloader, TheJobKeepsTheChipIdentityFromTheRepliesItReads)
{
    RomRun run(sim::SimOptions{}, Pacing::Exact);
    ASSERT_EQ(run.Run(Pattern(10)), "");
    const std::optional<ChipIdentity> chip = run.report.Record().chip;
    ASSERT_TRUE(chip.has_value());
    EXPECT_EQ(chip->pid, 0x410);
    EXPECT_EQ(PartName(*chip->pid), "STM32F10x medium density");
    EXPECT_EQ(BootloaderVersionText(*chip->bootloaderVersion), "2.2");
    EXPECT_EQ(chip->readProtected, false);
    EXPECT_EQ(UidText(*chip->uid), "4B4F5256414E452D53494D31");  // "KORVANE-SIM1"
}

TEST(Bootloader, RepliesOfTheWrongShapeAreRefusedNeverMisread)
{
    const auto answer = [](Bytes data) {
        BootloaderAnswer a;
        a.first = Stm32Bootloader::kAck;
        a.data = std::move(data);
        return a;
    };
    EXPECT_EQ(ParseGetId(answer({0x01, 0x04, 0x10, 0x79})), 0x410);
    EXPECT_EQ(ParseGetVersion(answer({0x22, 0x00, 0x00, 0x79})).version, 0x22);
    const GetReply get = ParseGet(answer({0x02, 0x31, 0x00, 0x44, 0x79}));
    EXPECT_EQ(get.version, 0x31);
    EXPECT_EQ(get.commands, (Bytes{0x00, 0x44}));
    struct Bad {
        const char* name;
        std::function<void()> parse;
    };
    const std::vector<Bad> bad = {
        {"Get ID short",
         [&] {
             ParseGetId(answer({0x01, 0x04}));
         }},
        {"Get ID empty", [&] { ParseGetId(answer({})); }},
        {"Get ID with a three-byte id",
         [&] {
             ParseGetId(answer({0x02, 0x04, 0x10, 0x00}));
         }},
        {"Get ID without its closing ACK",
         [&] {
             ParseGetId(answer({0x01, 0x04, 0x10, 0x1F}));
         }},
        {"Get Version short", [&] { ParseGetVersion(answer({0x22})); }},
        {"Get Version long",
         [&] {
             ParseGetVersion(answer({0x22, 0, 0, 0x79, 0x79}));
         }},
        {"Get count beyond the reply",
         [&] {
             ParseGet(answer({0x0B, 0x22, 0x00, 0x79}));
         }},
        {"Get empty", [&] { ParseGet(answer({})); }},
        {"uid short", [&] { ParseUid(answer(Bytes(11, 0x41))); }},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        EXPECT_THROW(b.parse(), MalformedReply);
    }
    // In the job a malformed identity is a warning; the upgrade goes on.
    try {
        ParseGetId(answer({0x01}));
    } catch (const MalformedReply& error) {
        EXPECT_NE(
            std::string(error.what()).find("Get ID with a reply its protocol does not have: 01"),
            std::string::npos)
            << error.what();
    }
}

TEST(Bootloader, VerifiedOnlyWhenBytesWereReadBackAndAMismatchIsAtRomVerify)
{
    RomRun empty(sim::SimOptions{}, Pacing::Patient, true);
    ASSERT_EQ(empty.Run(Bytes{}), "");
    EXPECT_FALSE(empty.verified);

    RomRun corrupt(WithFault({SimStep::WriteData, FaultAction::Corrupt, 1}), Pacing::Patient, true);
    const std::string failure = corrupt.Run(Pattern(600));
    EXPECT_NE(failure.find("first at 0x08000180"), std::string::npos) << failure;
    EXPECT_EQ(corrupt.report.Record().stage, JobStage::RomVerify);
    EXPECT_STREQ(StageName(JobStage::RomVerify), "rom-verify");
}

TEST(Bootloader, ARefusedEraseNamesTheProtocol3PartsAndKorvaneInfo)
{
    RomRun run(WithFault({SimStep::EraseMemory, FaultAction::Nack}), Pacing::Patient);
    const std::string failure = run.Run(Pattern(10));
    EXPECT_NE(failure.find("refused Erase Memory (NACK 0x1F)"), std::string::npos) << failure;
    EXPECT_NE(failure.find("protocol 3.x (STM32F2, F4, F7"), std::string::npos) << failure;
    EXPECT_NE(run.hint.find("korvane info"), std::string::npos) << run.hint;
}

// A bootloader in a few personalities, enough for the identity query.
struct Personality {
    const char* name;
    std::uint16_t pid;
    std::uint8_t version;
    Bytes commands;
    bool readProtected;
    std::uint32_t uidAddress, flashSizeAddress;
};

class ScriptedBootloader {
public:
    explicit ScriptedBootloader(const Personality& p) : m_p(p)
    {
        port.OnWrite([this](std::span<const std::uint8_t> w, testing::ScriptedPort& out) {
            const Bytes bytes(w.begin(), w.end());
            sent.push_back(bytes);
            out.ArriveAfter(1ms, Answer(bytes));
        });
    }
    Bytes Answer(const Bytes& w)
    {
        constexpr std::uint8_t kAck = 0x79, kNack = 0x1F;
        if (m_expect == Expect::Address) {
            m_address = (std::uint32_t{w[0]} << 24) | (w[1] << 16) | (w[2] << 8) | w[3];
            m_expect = Expect::Length;
            return {kAck};
        }
        if (m_expect == Expect::Length) {
            m_expect = Expect::Command;
            Bytes reply{kAck};
            for (std::uint32_t i = 0; i <= w[0]; ++i) reply.push_back(Memory(m_address + i));
            return reply;
        }
        if (w == Bytes{0x7F}) return {kAck};
        switch (w[0]) {
            case 0x00: {
                Bytes reply{kAck, static_cast<std::uint8_t>(m_p.commands.size()), m_p.version};
                reply.insert(reply.end(), m_p.commands.begin(), m_p.commands.end());
                reply.push_back(kAck);
                return reply;
            }
            case 0x01:
                return {kAck, m_p.version, 0, 0, kAck};
            case 0x02:
                return {kAck, 1, static_cast<std::uint8_t>(m_p.pid >> 8),
                        static_cast<std::uint8_t>(m_p.pid), kAck};
            case 0x11:
                if (m_p.readProtected) return {kNack};
                m_expect = Expect::Address;
                return {kAck};
            default:
                return {kNack};
        }
    }
    std::uint8_t Memory(std::uint32_t at) const
    {
        if (at == m_p.flashSizeAddress) return 0x80;  // 128 KiB, little-endian
        if (at == m_p.flashSizeAddress + 1) return 0x00;
        if (at >= m_p.uidAddress && at < m_p.uidAddress + kUidSize) {
            return static_cast<std::uint8_t>(0xA0 + (at - m_p.uidAddress));
        }
        return 0xEE;
    }

    testing::VirtualSleeper clock;
    testing::ScriptedPort port{clock};
    std::vector<Bytes> sent;

private:
    enum class Expect { Command, Address, Length };
    Personality m_p;
    Expect m_expect = Expect::Command;
    std::uint32_t m_address = 0;
};

TEST(Bootloader, InfoNamesThePlainTheProtectedAndTheProtocol3PartWithoutChangingThem)
{
    const Bytes f1Commands{0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, 0x63, 0x73, 0x82, 0x92};
    const Bytes f4Commands{0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x44, 0x63, 0x73, 0x82, 0x92};
    const std::vector<Personality> radios = {
        {"plain F1", 0x410, 0x22, f1Commands, false, 0x1FFFF7E8, 0x1FFFF7E0},
        {"read-protected F1", 0x410, 0x22, f1Commands, true, 0x1FFFF7E8, 0x1FFFF7E0},
        {"protocol 3.1 F4", 0x413, 0x31, f4Commands, false, 0x1FFF7A10, 0x1FFF7A22},
    };
    for (const Personality& p : radios) {
        SCOPED_TRACE(p.name);
        ScriptedBootloader radio(p);
        serial::ByteExchange exchange(radio.port, radio.clock);
        const ChipReport report = QueryChip(exchange);
        EXPECT_EQ(report.identity.pid, p.pid);
        EXPECT_EQ(report.identity.bootloaderVersion, p.version);
        EXPECT_EQ(report.commands, p.commands);
        EXPECT_EQ(report.identity.readProtected, p.readProtected);
        EXPECT_EQ(report.served, p.pid == 0x410);
        EXPECT_EQ(report.identity.uid.has_value(), !p.readProtected);
        if (!p.readProtected) {
            EXPECT_EQ(UidText(*report.identity.uid), "A0A1A2A3A4A5A6A7A8A9AAAB");
            EXPECT_EQ(report.flashKiB, 128);
        }
        // Nothing that unprotects, erases, writes or starts anything.
        const std::set<std::uint8_t> changing{0x92, 0x73, 0x43, 0x44, 0x31, 0x21};
        for (const Bytes& w : radio.sent) {
            if (w.size() == 2) {
                EXPECT_EQ(changing.count(w[0]), 0u) << int{w[0]};
            }
        }
        EXPECT_LT(radio.clock.Now(), 300ms);
    }
}

}  // namespace
}  // namespace korvane::firmware::test
