// The read-only identity query: the bootloader's own answers, and the two
// registers a known part keeps its unique id and flash size in.
#include "firmware/ChipQuery.h"

#include "firmware/StageFailure.h"

namespace korvane::firmware {

namespace {

using Bl = Stm32Bootloader;

constexpr std::size_t kFlashSizeBytes = 2;
constexpr std::uint16_t kUnprogrammedSize = 0xFFFF;

BootloaderAnswer Expect(BootloaderAnswer answer)
{
    if (!answer.Accepted()) throw StepFailed(answer.Step().Text(), answer.first);
    return answer;
}

void Synchronise(Stm32Bootloader& bootloader)
{
    for (int attempt = 0; attempt < kQuerySyncAttempts; ++attempt) {
        const BootloaderAnswer answer = bootloader.Sync(Bl::SyncKind::First);
        // A NACK comes from a bootloader synchronised already (an earlier run):
        // it took the byte for a command. Either way it now waits for one.
        if (answer.Accepted() || answer.first == Bl::kNack) return;
    }
    throw BootloaderAbsent(kQuerySyncAttempts);
}

}  // namespace

ChipReport QueryChip(serial::ByteExchange& exchange)
{
    Stm32Bootloader bootloader(exchange, Pacing::Patient);
    Synchronise(bootloader);
    ChipReport report;
    const BootloaderAnswer get = bootloader.Get();
    if (get.first != Bl::kNack) report.commands = ParseGet(Expect(get)).commands;
    report.identity.bootloaderVersion = ParseGetVersion(Expect(bootloader.GetVersion())).version;
    const std::uint16_t pid = ParseGetId(Expect(bootloader.GetId()));
    report.identity.pid = pid;

    const Stm32Part* part = FindPart(pid);
    if (part == nullptr) return report;
    report.served = part->served;
    const BootloaderAnswer uid = bootloader.ReadMemory(part->uidAddress, kUidSize);
    if (uid.part == CommandPart::Command && uid.first == Bl::kNack) {
        // The bootloader refuses Read Memory while the flash is read-protected.
        report.identity.readProtected = true;
        return report;
    }
    report.identity.uid = ParseUid(Expect(uid));
    report.identity.readProtected = false;
    const BootloaderAnswer size =
        Expect(bootloader.ReadMemory(part->flashSizeAddress, kFlashSizeBytes));
    if (size.data.size() != kFlashSizeBytes) throw MalformedReply("Read Memory", size.data);
    const auto kib = static_cast<std::uint16_t>(size.data[0] | (size.data[1] << 8));
    // A register that reads as all zeros or all ones was never programmed at the
    // factory (or is not where the table says for this part): no size is known.
    if (kib != 0 && kib != kUnprogrammedSize) report.flashKiB = kib;
    return report;
}

}  // namespace korvane::firmware
