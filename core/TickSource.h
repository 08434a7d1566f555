#pragma once

#include <atomic>
#include <cstdint>

// A millisecond counter that wraps at 32 bits, like the system tick counter.
// The race clock reads it through ReadClock; tests and replays inject their own.
class TickSource
{
public:
    virtual ~TickSource() = default;
    virtual std::uint32_t milliseconds() const = 0;
};

// A tick source that only moves when told to: for tests, benchmarks and replays.
class ManualTickSource final : public TickSource
{
public:
    explicit ManualTickSource(std::uint32_t start = 0) : mNow(start) {}
    std::uint32_t milliseconds() const override { return mNow; }
    void set(std::uint32_t ms) { mNow = ms; }
    void advance(std::uint32_t ms) { mNow += ms; }

private:
    std::uint32_t mNow;
};

// Another tick source moved by a fixed amount: after a reboot the boot clock starts again near
// zero, and a recovered race goes on with its old ticks by adding the difference.
// The serial event thread reads it while the GUI thread may set the offset (recovery).
class OffsetTickSource final : public TickSource
{
public:
    explicit OffsetTickSource(const TickSource &base) : mBase(base) {}
    std::uint32_t milliseconds() const override { return mBase.milliseconds() + offset(); }
    void setOffset(std::uint32_t offset) { mOffset.store(offset, std::memory_order_relaxed); }
    std::uint32_t offset() const { return mOffset.load(std::memory_order_relaxed); }

private:
    const TickSource &mBase;
    // Relaxed: the offset is one value on its own; nothing else is published with it.
    std::atomic<std::uint32_t> mOffset = 0;
};

// The race clock: the tick counter truncated down to a multiple of 10 ms, as a signed 32-bit value.
std::int32_t ReadClock(const TickSource &source);

// Durations between ticks are taken in 32-bit two's-complement arithmetic, so a race
// that spans the counter's wrap-around still measures correctly.
constexpr std::int32_t TickDiff(std::int32_t later, std::int32_t earlier)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(later) - static_cast<std::uint32_t>(earlier));
}

constexpr std::int32_t TickAdd(std::int32_t tick, std::int32_t duration)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(tick) + static_cast<std::uint32_t>(duration));
}
