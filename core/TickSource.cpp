#include "core/TickSource.h"

std::int32_t ReadClock(const TickSource &source)
{
    const std::uint32_t ms = source.milliseconds() / 10u * 10u;
    return static_cast<std::int32_t>(ms);
}
