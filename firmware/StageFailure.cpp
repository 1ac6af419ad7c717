// What a technician reads when the radio refuses a step: what was sent and
// what came back (or that nothing did), and, apart from it, what to check.
#include "firmware/StageFailure.h"

#include "firmware/AppLoaderStage.h"
#include "firmware/FirmwareTexts.h"
#include "firmware/protocol/Stm32Bootloader.h"
#include "settings/OwnText.h"

namespace korvane::firmware {

namespace {

using settings::OwnText;

std::string LoaderHint()
{
    return OwnText(kHintLoader,
                   "Check that the radio runs its boot loader and is connected to this port.");
}

std::string BootloaderHint()
{
    return OwnText(kHintBootloader,
                   "Check that the radio is switched into its bootloader and connected to this "
                   "port.");
}

}  // namespace

StageFailure LoaderAbsent(int attempts)
{
    return StageFailure(
        OwnText(kTextLoaderNoG, "The radio's loader did not answer 'G' to {0} solicitations.",
                {std::to_string(attempts)}),
        LoaderHint());
}

StageFailure HelloFailed(std::optional<std::uint8_t> answer)
{
    if (!answer) {
        return StageFailure(OwnText(kTextLoaderHelloSilent,
                                    "The radio's loader did not answer 'O' (it should answer "
                                    "'+')."),
                            LoaderHint());
    }
    return StageFailure(
        OwnText(kTextLoaderHelloWrong, "The radio's loader answered 'O' with {0} instead of '+'.",
                {HexByte(*answer)}),
        LoaderHint());
}

StageFailure BlockFailed(int number, std::optional<std::uint8_t> answer)
{
    const std::string block = std::to_string(number);
    if (!answer) {
        return StageFailure(OwnText(kTextLoaderBlockSilent,
                                    "The radio's loader did not answer block {0}.", {block}),
                            LoaderHint());
    }
    const std::string hint = OwnText(
        kHintBlockRefused,
        "The block may have been damaged on the line; check the cable and run the upgrade again.");
    if (*answer == AppLoaderStage::kRefuse) {
        return StageFailure(OwnText(kTextLoaderBlockChecksum,
                                    "The radio's loader refused block {0} (answered {1}, a "
                                    "checksum refusal).",
                                    {block, HexByte(*answer)}),
                            hint);
    }
    return StageFailure(
        OwnText(kTextLoaderBlockRefused, "The radio's loader refused block {0} (answered {1}).",
                {block, HexByte(*answer)}),
        hint);
}

StageFailure BootloaderAbsent(int attempts)
{
    return StageFailure(OwnText(kTextRomSync,
                                "The radio's bootloader did not answer the synchronisation byte "
                                "{0} in {1} attempts.",
                                {HexByte(Stm32Bootloader::kSync), std::to_string(attempts)}),
                        BootloaderHint());
}

StageFailure StepFailed(std::string_view what, std::optional<std::uint8_t> answer)
{
    const std::string step(what);
    if (!answer) {
        return StageFailure(
            OwnText(kTextRomSilent, "The radio's bootloader did not answer {0}.", {step}),
            BootloaderHint());
    }
    if (*answer == Stm32Bootloader::kNack) {
        return StageFailure(OwnText(kTextRomNack, "The radio's bootloader refused {0} (NACK {1}).",
                                    {step, HexByte(*answer)}),
                            BootloaderHint());
    }
    return StageFailure(OwnText(kTextRomOther,
                                "The radio's bootloader answered {0} with {1} instead of the ACK "
                                "{2}.",
                                {step, HexByte(*answer), HexByte(Stm32Bootloader::kAck)}),
                        BootloaderHint());
}

StageFailure EraseRefused()
{
    return StageFailure(
        OwnText(kTextEraseRefused,
                "The radio's bootloader refused Erase Memory (NACK {0}). Bootloaders of protocol "
                "3.x (STM32F2, F4, F7 and later parts) do not offer Erase 0x43, only Extended "
                "Erase 0x44, which this job does not send.",
                {HexByte(Stm32Bootloader::kNack)}),
        OwnText(kHintEraseRefused,
                "'korvane info --port P' names the chip the radio carries; this job serves the "
                "STM32F1 family and its compatible parts."));
}

}  // namespace korvane::firmware
