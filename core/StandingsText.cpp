#include "core/StandingsText.h"

#include "core/TimeText.h"

#include <array>

using Column = StandingsGrid::Column;

namespace {

// "-" for no laps, "1 Runde", "2 Runden".
QString lapsBehindText(int laps)
{
    if (laps == 0)
        return QStringLiteral("-");
    if (laps == 1)
        return QStringLiteral("1 Runde");
    return QString::number(laps) + QStringLiteral(" Runden");
}

// "1." .. "20.", made once and shared by every place cell.
const QString &placeText(int place)
{
    static const std::array<QString, RaceTable::MaxParticipants + 1> texts = [] {
        std::array<QString, RaceTable::MaxParticipants + 1> made;
        for (int i = 1; i <= RaceTable::MaxParticipants; ++i)
            made[i] = QString::number(i) + QLatin1Char('.');
        return made;
    }();
    return texts[place];
}

} // namespace

QString StandingsText::time(std::int32_t ms) const
{
    return TimeText::FormatRaceTime(ms, mDecimalSeparator);
}

void StandingsText::writeLap(StandingsGrid &grid, int r, const RaceTable &t, int p) const
{
    const int laps = t.lapCount(p);
    grid.setCell(Column::Laps, r, QString::number(laps));
    if (laps >= 2)
        grid.setCell(Column::PreviousLap, r, time(t.lapTime(p, laps - 1)));
    else
        grid.clearCell(Column::PreviousLap, r);
    grid.setCell(Column::LastLap, r, time(t.lapTime(p, laps)));
    grid.setCell(Column::BestLap, r, time(t.BestLap(p)));
    grid.setCell(Column::TotalTime, r, time(t.raceTimeAtLap(p, laps)));
}

void StandingsText::writePlace(StandingsGrid &grid, int row, int place)
{
    grid.setCell(Column::Place, row, placeText(place));
}

void StandingsText::writeGaps(StandingsGrid &grid, const RaceTable &t, int rows) const
{
    const int leaderLaps = t.LeaderLaps();
    int prevDiff = -1;
    std::int32_t groupTime = 0;
    std::int32_t prevTime = 0;
    int prevLaps = t.lapCount(t.ParticipantAtRow[1]);

    for (int h = 1; h <= rows; ++h) {
        const int p = t.ParticipantAtRow[h];
        const int laps = t.lapCount(p);
        // Participants without a lap have no gaps.
        if (laps == 0)
            continue;
        // The race time at the participant's last pass, to the hundredth as "Ges. Zeit" shows it.
        const std::int32_t total = t.raceTimeAtLap(p, laps) / 10 * 10;
        const int diff = leaderLaps - laps;
        grid.setCell(Column::GapToLeader, h, lapsBehindText(diff));
        if (diff != prevDiff) {
            prevDiff = diff;
            groupTime = total;
            grid.setCell(Column::GapAhead, h, lapsBehindText(prevLaps - laps));
            prevLaps = laps;
            prevTime = groupTime;
        } else {
            if (diff == 0)
                grid.setCell(Column::GapToLeader, h, time(total - groupTime));
            grid.setCell(Column::GapAhead, h, time(total - prevTime));
            prevTime = total;
        }
    }
}

void StandingsText::writeCurrentTime(StandingsGrid &grid, int row, std::int32_t ms) const
{
    grid.setCell(Column::CurrentTime, row, time(ms));
}

void StandingsText::writeNoLaps(StandingsGrid &grid, int row)
{
    grid.setCell(Column::Place, row, QStringLiteral("-"));
    grid.setCell(Column::Laps, row, QStringLiteral("0"));
}

void StandingsText::writeOut(StandingsGrid &grid, int row)
{
    grid.setCell(Column::CurrentTime, row, QStringLiteral("AUS"));
}
