#include "core/ResultsSnapshot.h"

#include "core/RaceCore.h"
#include "core/TimeText.h"

#include <algorithm>

ResultsSnapshot ResultsSnapshot::of(const RaceCore &core)
{
    const StandingsGrid &grid = core.grid();
    const RaceTable &table = core.table();
    ResultsSnapshot s;
    s.title = core.title();
    s.sessionType = core.sessionTypeText();
    s.state = core.sessionState();
    s.remainingText = core.durationText();
    s.remainingSeconds = TimeText::ParseClockSeconds(core.durationText()).value_or(core.raceDuration());
    s.gong = core.controls().gongVisible;
    s.leaderLaps = s.state == SessionState::Idle ? 0 : table.LeaderLaps();
    s.decimalSeparator = core.decimalSeparator();
    for (int c = 0; c < StandingsGrid::ColumnCount; ++c)
        s.columnTitles[c] = grid.cell(c, 0);

    s.rows.reserve(grid.rowCount() - 1);
    for (int r = 1; r < grid.rowCount(); ++r) {
        Row row;
        row.participant = table.ParticipantAtRow[r];
        for (int c = 0; c < StandingsGrid::ColumnCount; ++c)
            row.cells[c] = grid.cell(c, r);
        // Lap data belongs to a session that has been started; before that the records are stale.
        if (s.state != SessionState::Idle && row.participant >= 1) {
            const int laps = table.lapCount(row.participant);
            row.lapTimes.reserve(laps);
            for (int lap = 1; lap <= laps; ++lap)
                row.lapTimes.push_back(table.lapTime(row.participant, lap));
            row.finished = (table.LapWord(row.participant) & RaceTable::FinishedFlag) != 0;
            row.out = (table.LapWord(row.participant) & RaceTable::OutFlag) != 0;
            row.corrected = std::any_of(core.corrections().begin(), core.corrections().end(), [&](const Correction &c) {
                return c.participant == row.participant || c.toParticipant == row.participant;
            });
        }
        s.rows.push_back(std::move(row));
    }
    if (s.state != SessionState::Idle)
        s.corrections = core.corrections();
    return s;
}

bool ResultsSnapshot::sameApartFromCountdown(const ResultsSnapshot &other) const
{
    return title == other.title && sessionType == other.sessionType && state == other.state && gong == other.gong
        && columnTitles == other.columnTitles && leaderLaps == other.leaderLaps
        && decimalSeparator == other.decimalSeparator && rows == other.rows && corrections == other.corrections;
}
