#include "core/BarrierRouter.h"

namespace {

// Whether a barrier line's event counts: a level other than the stored one is stored and
// counts when it is the barrier's counting level (asserted for NPN, dropped for PNP). A
// repeated level is dropped, unless the line pulsed: then it went to its other level and
// back unseen, which passes the counting level exactly once.
bool barrierCounts(std::optional<int> &stored, int level, bool pulsed, bool pnp, bool unknownType)
{
    if (stored == level)
        return pulsed && !unknownType;
    stored = level;
    return !unknownType && (level != 0) != pnp;
}

} // namespace

// The lines are taken in the driver's order: CTS, DSR, carrier detect, all with the one
// status of the wake.
BarrierRouter::Counts BarrierRouter::route(std::int32_t now, const RaceInput &in, const BarrierSettings &s)
{
    Counts counts;
    const int lines = in.lines | in.pulses;
    if (lines & RaceInput::EvCts)
        counts.start = barrierCounts(mStartLevel, in.value & RaceInput::MsCtsOn, in.pulses & RaceInput::EvCts, s.startPnp,
                                     s.startUnknown);
    for (const std::uint8_t line : {RaceInput::EvDsr, RaceInput::EvRlsd}) {
        if (!(lines & line))
            continue;
        const int level = in.value & (RaceInput::MsDsrOn | RaceInput::MsRlsdOn);
        const std::optional<int> before = mFinishLevel;
        // The second line of a wake that already counted is the same pass, pulse or not.
        const bool pulsed = (in.pulses & line) && !counts.finish;
        const bool counted = barrierCounts(mFinishLevel, level, pulsed, s.finishPnp, s.finishUnknown);
        // For the operator's health display only: a beam that stays interrupted loses every pass.
        if (mFinishLevel != before) {
            const bool interrupted = !s.finishUnknown && (*mFinishLevel != 0) != s.finishPnp;
            mFinishBlockedSince = interrupted ? std::optional<std::int32_t>(now) : std::nullopt;
        }
        if (counted) {
            counts.finish = true;
            mLastFinishEvent = now;
        }
    }
    return counts;
}

void BarrierRouter::restoreLevels(std::optional<int> start, std::optional<int> finish)
{
    mStartLevel = start;
    mFinishLevel = finish;
}
