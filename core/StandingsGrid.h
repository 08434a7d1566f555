#pragma once

#include <QString>
#include <QStringView>

#include <array>

// The cell texts of the standings grid: a title row 0 and one row per participant. The texts
// are for display; each row also carries the participant it shows, which moves with the row.
class StandingsGrid
{
public:
    static constexpr int ColumnCount = 12;
    static constexpr int MaxRows = 21;

    enum Column {
        Place = 0,
        Key = 1,
        Number = 2,
        Name = 3,
        Laps = 4,
        CurrentTime = 5,
        LastLap = 6,
        PreviousLap = 7,
        BestLap = 8,
        GapToLeader = 9,
        GapAhead = 10,
        TotalTime = 11,
    };

    StandingsGrid();

    int rowCount() const { return mRowCount; }
    void setRowCount(int rows);

    const QString &cell(int column, int row) const { return mRows[row][column]; }
    void setCell(int column, int row, const QString &text) { mRows[row][column] = text; }
    void clearCell(int column, int row) { mRows[row][column].clear(); }
    // The participant a row shows (0: none yet); set where the row gets its key label.
    int participantAt(int row) const { return mParticipants[row]; }
    void setParticipantAt(int row, int participant) { mParticipants[row] = participant; }

    // Sorts rows 1.. ascending by one column with CompareCellTexts on lower-cased texts.
    // Stable: rows that compare equal keep their order. Whole rows move.
    void sortRows(int column);

    friend bool operator==(const StandingsGrid &, const StandingsGrid &) = default;

private:
    using Row = std::array<QString, ColumnCount>;
    std::array<Row, MaxRows> mRows;
    std::array<int, MaxRows> mParticipants{};
    int mRowCount = 1;
};

// Empty texts sort last, shorter texts first, texts of equal length code unit by code unit.
// So "9." comes before "10." and 59:59,99 before 1:00:00,00.
int CompareCellTexts(QStringView a, QStringView b);

extern const std::array<const char *, StandingsGrid::ColumnCount> ColumnTitles;
