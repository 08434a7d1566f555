#pragma once

#include "core/StandingsGrid.h"

#include <array>

// The grid columns every results output shows, in this order: the results page, the results
// workbook and the live standings show the same table.
inline constexpr std::array<int, 8> ResultColumns = {
    StandingsGrid::Place,     StandingsGrid::Number,      StandingsGrid::Name,     StandingsGrid::Laps,
    StandingsGrid::TotalTime, StandingsGrid::GapToLeader, StandingsGrid::GapAhead, StandingsGrid::BestLap,
};
