// The reads of the protocol stages under the job's pacing policy.
#include "firmware/protocol/Pacing.h"

namespace korvane::firmware {

const char* PacingName(Pacing pacing)
{
    return pacing == Pacing::Patient ? "patient" : "exact";
}

serial::Reply ReadUnder(serial::ByteExchange& exchange, Pacing pacing, const ReadWindow& window,
                        std::optional<std::uint8_t> continuesAfter)
{
    serial::ReadLimit limit = pacing == Pacing::Patient ? serial::ReadLimit::Within(window.ceiling)
                                                        : serial::ReadLimit::Polls(window.polls);
    limit.continuesAfter = continuesAfter;
    return exchange.Receive(pacing == Pacing::Patient ? window.promptWanted : window.wanted, limit);
}

}  // namespace korvane::firmware
