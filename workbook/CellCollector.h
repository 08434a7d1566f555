#pragma once

#include "workbook/Workbook.h"

#include <QString>
#include <QVariant>

#include <map>
#include <set>
#include <utility>
#include <vector>

// Gathers the cells a file reader reports, in any order and for any of its worksheets, and
// builds the workbook from them at the end. It keeps the whole read within a memory budget, so
// that a file which claims millions of cells (a broken or hostile one) cannot exhaust memory.
class CellCollector
{
public:
    // Most cells a workbook may hold; far more than any list or results sheet has.
    static constexpr long long MaxCells = 1'000'000;
    // Most row and column slots the in-memory worksheets may allocate (a cell in row 1,000,000
    // costs a million empty rows above it).
    static constexpr long long MaxSlots = 4'000'000;
    // Most worksheets a workbook may have.
    static constexpr int MaxSheets = 1024;
    // The largest sheet a spreadsheet application makes (rows, columns).
    static constexpr int MaxRows = 1'048'576;
    static constexpr int MaxColumns = 16'384;

    // Appends a worksheet; returns its index, or -1 when there are too many.
    int addSheet(const QString &name);
    int sheetCount() const { return int(mSheets.size()); }
    // Index of the worksheet with that name, -1 if none.
    int sheetIndex(const QString &name) const;

    // Sets a cell (row and column from 1). Returns false when the budget is exceeded; cells
    // outside the largest sheet are ignored.
    bool setCell(int sheet, int row, int column, const QVariant &value);
    // Notes a formula cell whose result is unknown; false when the position is outside a sheet.
    bool markFormulaWithoutResult(int sheet, int row, int column);
    // The value set so far (invalid when none).
    QVariant cell(int sheet, int row, int column) const;

    // Moves the collected worksheets into the workbook; false when they would not fit the budget.
    bool moveInto(Workbook &workbook);

private:
    // Cells keyed by (row, column), so that a later value replaces an earlier one.
    struct Sheet
    {
        QString name;
        std::map<std::pair<int, int>, QVariant> cells;
        // Sorted like the cells, so that the first in reading order comes first.
        std::set<std::pair<int, int>> formulasWithoutResult;
    };
    std::vector<Sheet> mSheets;
    long long mCellCount = 0;
};
