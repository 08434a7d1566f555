#pragma once

#include <QString>

#include <cstdint>

// Where a pass came from, as the corrections window shows it.
enum class PassSource : std::uint8_t {
    Key = 0,      // the capture key or button, or the participant's key itself
    Barrier = 1,  // a light barrier
    Inserted = 2, // typed in afterwards as a missed pass
};

// A pass booked to a participant. The participant's laps run from pass to pass in this
// order; a struck pass stays in the list but no longer counts.
struct BookedPass
{
    std::uint32_t id = 0;
    std::int32_t tick = 0;
    PassSource source = PassSource::Key;
    // Booked once the gong had sounded: as the participant's last pass it is the finish.
    bool finishing = false;
    bool struck = false;

    friend bool operator==(const BookedPass &, const BookedPass &) = default;
};

// One correction of the race as made, for the trail and the results.
struct Correction
{
    enum class Action : std::uint8_t { Strike, Restore, Move, Insert };

    Action action = Action::Strike;
    std::int32_t madeAt = 0;        // race time (ms) when it was made
    std::int64_t wallClockMs = 0;   // and the wall clock then, ms since the epoch
    QString operatorName;
    QString reason;
    int participant = 0;            // whose pass it was (Move: from)
    int toParticipant = 0;          // Move: to whom it went
    std::uint32_t pass = 0;         // the pass's id
    std::int32_t passTime = 0;      // race time (ms) of the pass
    int lap = 0;                    // the lap the pass ended before (Strike, Move) or after it (Restore, Insert)
    int newLap = 0;                 // Move: the lap it ends for toParticipant
    // Taken back with Ctrl+Z: only the trail still lists it.
    bool withdrawn = false;

    friend bool operator==(const Correction &, const Correction &) = default;
};
