#pragma once

#include "core/Controls.h"
#include "core/RaceInput.h"

#include <cstdint>
#include <optional>

// Which wake of the serial lines is a pass of which light barrier. It keeps the level each
// barrier line had at its previous event, so a repeated level is dropped and a pulse (the
// line went to its other level and back unseen) counts once; and, for the operator's health
// display, since when the finish beam has been interrupted and when it last counted.
class BarrierRouter
{
public:
    // What one wake counted: the start barrier, the finish barrier (DSR and carrier detect are
    // one barrier: one wake counts it once at most).
    struct Counts
    {
        bool start = false;
        bool finish = false;
    };

    Counts route(std::int32_t now, const RaceInput &wake, const BarrierSettings &settings);
    // The port closed: a beam can no longer be seen interrupted.
    void portClosed() { mFinishBlockedSince.reset(); }

    // The levels kept between sessions (CTS bit; DSR and carrier detect bits), none before
    // the first event so that one always counts.
    std::optional<int> startLevel() const { return mStartLevel; }
    std::optional<int> finishLevel() const { return mFinishLevel; }
    void restoreLevels(std::optional<int> start, std::optional<int> finish);

    std::optional<std::int32_t> finishBlockedSince() const { return mFinishBlockedSince; }
    std::optional<std::int32_t> lastFinishEvent() const { return mLastFinishEvent; }

private:
    std::optional<int> mStartLevel;
    std::optional<int> mFinishLevel;
    std::optional<std::int32_t> mFinishBlockedSince;
    std::optional<std::int32_t> mLastFinishEvent;
};
