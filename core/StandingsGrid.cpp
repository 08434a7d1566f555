#include "core/StandingsGrid.h"

#include <algorithm>

const std::array<const char *, StandingsGrid::ColumnCount> ColumnTitles = {
    "Platz", "Key", "Nr.", "Fahrer", "Rd.", "akt. Zeit",
    "L. Runde", "Vorrunde", "Top Runde", "Zum 1.", "Vorderer", "Ges. Zeit",
};

StandingsGrid::StandingsGrid()
{
    for (int c = 0; c < ColumnCount; ++c)
        mRows[0][c] = QString::fromUtf8(ColumnTitles[c]);
}

void StandingsGrid::setRowCount(int rows)
{
    mRowCount = std::clamp(rows, 1, MaxRows);
}

int CompareCellTexts(QStringView a, QStringView b)
{
    if (a.isEmpty())
        return b.isEmpty() ? 0 : 1;
    if (b.isEmpty())
        return -1;
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (qsizetype i = 0; i < a.size(); ++i) {
        // The grid compares lower-cased texts; doing it per character needs no copy.
        const char16_t ca = a[i].toLower().unicode();
        const char16_t cb = b[i].toLower().unicode();
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return 0;
}

void StandingsGrid::sortRows(int column)
{
    // Insertion sort: stable, in place and without allocation; at most 20 rows.
    for (int i = 2; i < mRowCount; ++i) {
        for (int j = i; j > 1 && CompareCellTexts(mRows[j][column], mRows[j - 1][column]) < 0; --j) {
            std::swap(mRows[j], mRows[j - 1]);
            std::swap(mParticipants[j], mParticipants[j - 1]);
        }
    }
}
