#include "workbook/Workbook.h"

#include <algorithm>

bool CellIsNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

QVariant Worksheet::cell(int row, int column) const
{
    if (row < 1 || column < 1 || row > int(mRows.size()))
        return {};
    const auto &cells = mRows[row - 1];
    return column <= int(cells.size()) ? cells[column - 1] : QVariant();
}

void Worksheet::setCell(int row, int column, const QVariant &value)
{
    if (row < 1 || column < 1)
        return;
    if (mNoting)
        noteChange(row, column);
    if (!value.isValid() && row > int(mRows.size()))
        return;
    if (row > int(mRows.size()))
        mRows.resize(row);
    auto &cells = mRows[row - 1];
    if (column > int(cells.size())) {
        if (!value.isValid())
            return;
        cells.resize(column);
    }
    cells[column - 1] = value;
    if (!value.isValid())
        trim();
}

int Worksheet::usedColumns() const
{
    int columns = 0;
    for (const auto &cells : mRows)
        columns = std::max(columns, int(cells.size()));
    return columns;
}

CellBlock Worksheet::values(int r1, int c1, int r2, int c2) const
{
    CellBlock block;
    if (r2 < r1 || c2 < c1)
        return block;
    block.resize(r2 - r1 + 1);
    for (int r = r1; r <= r2; ++r) {
        auto &out = block[r - r1];
        out.resize(c2 - c1 + 1);
        for (int c = c1; c <= c2; ++c)
            out[c - c1] = cell(r, c);
    }
    return block;
}

void Worksheet::noteChanges()
{
    mNoting = true;
    mChanged.clear();
    mChangeCount = 0;
}

void Worksheet::noteChange(int row, int column)
{
    if (row > int(mChanged.size()))
        mChanged.resize(std::size_t(row));
    auto &cells = mChanged[std::size_t(row - 1)];
    if (column > int(cells.size()))
        cells.resize(std::size_t(column));
    if (!cells[std::size_t(column - 1)]) {
        cells[std::size_t(column - 1)] = true;
        ++mChangeCount;
    }
}

// Drops empty cells at the end of rows and empty rows at the end of the sheet.
void Worksheet::trim()
{
    for (auto &cells : mRows) {
        while (!cells.empty() && !cells.back().isValid())
            cells.pop_back();
    }
    while (!mRows.empty() && mRows.back().empty())
        mRows.pop_back();
}
