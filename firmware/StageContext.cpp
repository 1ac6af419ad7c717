// The reads of the protocol stages under the job's pacing policy.
#include "firmware/StageContext.h"

#include <cstdio>

namespace korvane::firmware {

const char* PacingName(Pacing pacing)
{
    return pacing == Pacing::Patient ? "patient" : "exact";
}

serial::Reply ReadReply(const StageContext& context, const ReadWindow& window)
{
    if (context.pacing == Pacing::Patient) {
        return context.exchange.Receive(window.promptWanted,
                                        serial::ReadLimit::Within(window.ceiling));
    }
    return context.exchange.Receive(window.wanted, window.polls);
}

serial::Reply SendAndRead(const StageContext& context, std::span<const std::uint8_t> request,
                          const ReadWindow& window)
{
    context.exchange.SendBytes(request.data(), static_cast<std::uint16_t>(request.size()));
    return ReadReply(context, window);
}

std::string HexByte(std::uint8_t value)
{
    char text[sizeof("0xFF")];
    std::snprintf(text, sizeof(text), "0x%02X", static_cast<unsigned>(value));
    return text;
}

}  // namespace korvane::firmware
