#pragma once

#include "core/TickSource.h"

// Lends a test's own clock to the session, which owns the clock it is given.
class ClockView final : public TickSource
{
public:
    explicit ClockView(const TickSource &clock) : mClock(clock) {}
    std::uint32_t milliseconds() const override { return mClock.milliseconds(); }

private:
    const TickSource &mClock;
};
