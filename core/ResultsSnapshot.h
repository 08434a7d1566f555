#pragma once

#include "core/Controls.h"
#include "core/Correction.h"
#include "core/StandingsGrid.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class RaceCore;

// The results as they stand after one input, in the grid's shown order: what every
// results output and live view reads, so none of them walks the grid its own way.
struct ResultsSnapshot
{
    using Cells = std::array<QString, StandingsGrid::ColumnCount>;

    struct Row
    {
        int participant = 0;                // 1..20, the key's participant
        Cells cells;                        // the twelve grid texts of the row
        std::vector<std::int32_t> lapTimes; // ms, first lap first
        bool finished = false;              // crossed the line after the gong: no more laps
        bool out = false;                   // taken out of the race by the operator
        bool corrected = false;             // a correction in effect changed its laps

        friend bool operator==(const Row &, const Row &) = default;
    };

    QString title;
    QString sessionType;                    // "Rennen" or "Training"
    SessionState state = SessionState::Idle;
    std::int32_t remainingSeconds = 0;      // the countdown (the whole duration before a start)
    QString remainingText;                  // as "Counter:" shows it
    bool gong = false;                      // the race duration has elapsed
    Cells columnTitles;
    int leaderLaps = 0;                     // the most laps anybody has run
    QChar decimalSeparator = QLatin1Char(','); // of the race times, for texts made from lapTimes
    std::vector<Row> rows;
    // The corrections in effect, oldest first.
    std::vector<Correction> corrections;

    static ResultsSnapshot of(const RaceCore &core);
    // Everything but the countdown is the same: a live view that counts down by itself has
    // nothing new to show.
    bool sameApartFromCountdown(const ResultsSnapshot &other) const;
};
