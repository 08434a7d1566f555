#pragma once

#include "core/RaceTable.h"
#include "core/StandingsGrid.h"

#include <QChar>
#include <QString>

#include <cstdint>

// The one place where the race's numbers become the standings grid's texts: places, lap
// counts, times and gaps, written from the race table. The texts are for display only;
// nothing reads them back.
class StandingsText
{
public:
    explicit StandingsText(QChar decimalSeparator) : mDecimalSeparator(decimalSeparator) {}

    // A race or lap time as the grid shows it ("1:02:03,45", "12:34,56").
    QString time(std::int32_t ms) const;

    // The cells of a lap just booked for participant p in row r: laps, last, previous and
    // best lap, total time.
    void writeLap(StandingsGrid &grid, int row, const RaceTable &table, int p) const;
    // "1." .. "20." in the place column.
    static void writePlace(StandingsGrid &grid, int row, int place);
    // The gap columns of every row with laps, rows in place order. Within a group of equal
    // lap counts the first row shows laps behind, the others time behind; on the leader's
    // lap also the time behind the leader.
    void writeGaps(StandingsGrid &grid, const RaceTable &table, int rows) const;
    // "akt. Zeit": the running time, or the final time after a stop.
    void writeCurrentTime(StandingsGrid &grid, int row, std::int32_t ms) const;
    // A participant without a lap when the session stops: "-" and "0".
    static void writeNoLaps(StandingsGrid &grid, int row);
    // A participant taken out of the race: "AUS".
    static void writeOut(StandingsGrid &grid, int row);

private:
    QChar mDecimalSeparator;
};
