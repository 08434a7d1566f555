#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>
#include <utility>
#include <vector>

// An error value of a cell as the spreadsheet program shows it ("#NV", "#DIV/0!").
struct CellError
{
    QString text;
    friend bool operator==(const CellError &, const CellError &) = default;
};
Q_DECLARE_METATYPE(CellError)

// A race or lap time: written as a duration (a fraction of a day) whose number format shows
// exactly the grid's text.
struct CellDuration
{
    std::int32_t ms = 0;
    friend bool operator==(const CellDuration &, const CellDuration &) = default;
};
Q_DECLARE_METATYPE(CellDuration)

// A block of cell values indexed [row][column] from 0, for the cells row0+r, column0+c.
// A value is a QString, a double, a bool, a CellError, a CellDuration, or invalid for an
// empty cell.
using CellBlock = std::vector<std::vector<QVariant>>;

// True for the numeric types a cell value may come as; a writer writes everything else as text.
bool CellIsNumber(const QVariant &value);

// One worksheet held in memory: only the filled part is stored; everything beyond it is empty.
class Worksheet
{
public:
    QString name;
    // Cells (row, column) holding a formula whose result the file's reader cannot give (FreeXL
    // reads none, an .xlsx may be saved without them): they read as empty, which is not what
    // the sheet shows.
    std::vector<std::pair<int, int>> formulasWithoutResult;

    // Rows and columns count from 1, as in a spreadsheet (A1 is row 1, column 1).
    QVariant cell(int row, int column) const;
    void setCell(int row, int column, const QVariant &value);
    // The highest row and column that hold a value (0 when the sheet is empty).
    int usedRows() const { return int(mRows.size()); }
    int usedColumns() const;
    // The last column of a row that holds a value (0 for an empty row or one beyond the sheet).
    int rowLength(int row) const { return row >= 1 && row <= int(mRows.size()) ? int(mRows[row - 1].size()) : 0; }

    // The values of rows r1..r2 and columns c1..c2 as one block.
    CellBlock values(int r1, int c1, int r2, int c2) const;

    // From now on the sheet notes which cells are set, so that a writer editing the file it
    // came from changes those cells only and leaves the others (formulas among them) alone.
    void noteChanges();
    // True once noteChanges() was called: only the noted cells are to be written.
    bool notesChanges() const { return mNoting; }
    // Calls visit(row, column) for every cell set since noteChanges(), row by row.
    template <typename Visit>
    void forEachChange(Visit visit) const
    {
        for (int r = 0; r < int(mChanged.size()); ++r) {
            for (int c = 0; c < int(mChanged[r].size()); ++c) {
                if (mChanged[r][c])
                    visit(r + 1, c + 1);
            }
        }
    }
    // True when a cell was set since noteChanges().
    bool hasChanges() const { return mChangeCount > 0; }

private:
    void trim();
    void noteChange(int row, int column);
    std::vector<std::vector<QVariant>> mRows;
    // Set cells by [row][column] from 0, while noting; kept apart from the values, because a
    // cell emptied is a change too.
    std::vector<std::vector<bool>> mChanged;
    bool mNoting = false;
    int mChangeCount = 0;
};

// A workbook held in memory: its worksheets in order, its document properties, and the
// template package it was opened from (so that a writer can keep the template's formats).
struct Workbook
{
    std::vector<Worksheet> sheets;
    QString author;
    QString subject;
    QString comments;
    // The file it was read from, when it was read from one (a template keeps its package).
    QString sourcePath;
    // Worksheets (numbered from 1) whose column widths are to fit their contents.
    std::vector<int> autofitSheets;
    // The decimal separator the program shows times with: durations are formatted with it.
    QChar decimalSeparator = QLatin1Char(',');
};
