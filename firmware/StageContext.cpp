// The reads of the protocol stages under the job's pacing policy.
#include "firmware/StageContext.h"

namespace korvane::firmware {

serial::Reply ReadReply(const StageContext& context, const ReadWindow& window)
{
    return ReadUnder(context.exchange, context.pacing, window);
}

serial::Reply SendAndRead(const StageContext& context, std::span<const std::uint8_t> request,
                          const ReadWindow& window)
{
    context.exchange.SendBytes(request.data(), static_cast<std::uint16_t>(request.size()));
    return ReadReply(context, window);
}

}  // namespace korvane::firmware
