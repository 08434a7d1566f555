#pragma once

#include "core/TickSource.h"

// Milliseconds since boot, including time spent in suspend, wrapping at 32 bits.
class BootClock final : public TickSource
{
public:
    std::uint32_t milliseconds() const override;
};
