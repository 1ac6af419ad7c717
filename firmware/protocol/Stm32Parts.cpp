// The product ids of the parts a radio may carry, from ST's bootloader notes
// (AN2606) and the ids compatible parts answer with.
#include "firmware/protocol/Stm32Parts.h"

#include <algorithm>
#include <cstdio>

#include "firmware/FirmwareTexts.h"
#include "settings/OwnText.h"

namespace korvane::firmware {

namespace {

// Where the F0/F3 and the F1 families keep the unique id and the flash size.
constexpr std::uint32_t kF1Uid = 0x1FFFF7E8;
constexpr std::uint32_t kF1FlashSize = 0x1FFFF7E0;
constexpr std::uint32_t kF03Uid = 0x1FFFF7AC;
constexpr std::uint32_t kF03FlashSize = 0x1FFFF7CC;
constexpr std::uint32_t kF24Uid = 0x1FFF7A10;
constexpr std::uint32_t kF24FlashSize = 0x1FFF7A22;
constexpr std::uint32_t kF7Uid = 0x1FF0F420;
constexpr std::uint32_t kF7FlashSize = 0x1FF0F442;
constexpr std::uint32_t kF72Uid = 0x1FF07A10;
constexpr std::uint32_t kF72FlashSize = 0x1FF07A22;

// GigaDevice's GD32F10x (and other F1-compatible parts) answer Get ID with
// the id of the STM32F10x density they copy, and are served alike.
constexpr std::array kParts = {
    // STM32F1, and the parts compatible with it.
    Stm32Part{0x412, "STM32F10x low density", true, kF1Uid, kF1FlashSize},
    Stm32Part{0x410, "STM32F10x medium density", true, kF1Uid, kF1FlashSize},
    Stm32Part{0x414, "STM32F10x high density", true, kF1Uid, kF1FlashSize},
    Stm32Part{0x420, "STM32F10x medium density value line", true, kF1Uid, kF1FlashSize},
    Stm32Part{0x428, "STM32F10x high density value line", true, kF1Uid, kF1FlashSize},
    Stm32Part{0x418, "STM32F105/F107 connectivity line", true, kF1Uid, kF1FlashSize},
    Stm32Part{0x430, "STM32F10x XL density", true, kF1Uid, kF1FlashSize},
    // STM32F0.
    Stm32Part{0x444, "STM32F03x", false, kF03Uid, kF03FlashSize},
    Stm32Part{0x445, "STM32F04x/F070x6", false, kF03Uid, kF03FlashSize},
    Stm32Part{0x440, "STM32F030x8/F05x", false, kF03Uid, kF03FlashSize},
    Stm32Part{0x448, "STM32F070xB/F071/F072", false, kF03Uid, kF03FlashSize},
    Stm32Part{0x442, "STM32F030xC/F09x", false, kF03Uid, kF03FlashSize},
    // STM32F3.
    Stm32Part{0x432, "STM32F37x", false, kF03Uid, kF03FlashSize},
    Stm32Part{0x422, "STM32F302xB(C)/F303xB(C)/F358", false, kF03Uid, kF03FlashSize},
    Stm32Part{0x439, "STM32F301/F302x4(6/8)/F318", false, kF03Uid, kF03FlashSize},
    Stm32Part{0x438, "STM32F303x4(6/8)/F334/F328", false, kF03Uid, kF03FlashSize},
    Stm32Part{0x446, "STM32F302xD(E)/F303xD(E)/F398", false, kF03Uid, kF03FlashSize},
    // Protocol-3.x parts: Extended Erase 0x44 only.
    Stm32Part{0x411, "STM32F2xx", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x413, "STM32F40x/F41x", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x419, "STM32F42x/F43x", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x423, "STM32F401xB(C)", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x433, "STM32F401xD(E)", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x458, "STM32F410", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x431, "STM32F411", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x441, "STM32F412", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x463, "STM32F413/F423", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x421, "STM32F446", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x434, "STM32F469/F479", false, kF24Uid, kF24FlashSize},
    Stm32Part{0x449, "STM32F74x/F75x", false, kF7Uid, kF7FlashSize},
    Stm32Part{0x451, "STM32F76x/F77x", false, kF7Uid, kF7FlashSize},
    Stm32Part{0x452, "STM32F72x/F73x", false, kF72Uid, kF72FlashSize},
};

}  // namespace

const Stm32Part* FindPart(std::uint16_t pid)
{
    const auto* part = std::find_if(kParts.begin(), kParts.end(),
                                    [pid](const Stm32Part& p) { return p.pid == pid; });
    return part == kParts.end() ? nullptr : part;
}

std::string PartName(std::uint16_t pid)
{
    const Stm32Part* part = FindPart(pid);
    if (part != nullptr) return std::string(part->name);
    return settings::OwnText(kTextUnknownPart, "unknown part");
}

std::string BootloaderVersionText(std::uint8_t version)
{
    return std::to_string(version >> 4) + "." + std::to_string(version & 0x0F);
}

std::string PidText(std::uint16_t pid)
{
    char text[sizeof("0xFFFF")];
    std::snprintf(text, sizeof(text), "0x%03X", static_cast<unsigned>(pid));
    return text;
}

std::string UidText(std::span<const std::uint8_t> uid)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : uid) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

}  // namespace korvane::firmware
