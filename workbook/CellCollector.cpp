#include "workbook/CellCollector.h"

#include <algorithm>

int CellCollector::addSheet(const QString &name)
{
    if (int(mSheets.size()) >= MaxSheets)
        return -1;
    mSheets.push_back({.name = name, .cells = {}, .formulasWithoutResult = {}});
    return int(mSheets.size()) - 1;
}

int CellCollector::sheetIndex(const QString &name) const
{
    for (int i = 0; i < int(mSheets.size()); ++i) {
        if (mSheets[i].name == name)
            return i;
    }
    return -1;
}

bool CellCollector::setCell(int sheet, int row, int column, const QVariant &value)
{
    if (sheet < 0 || sheet >= int(mSheets.size()) || row < 1 || column < 1 || row > MaxRows
        || column > MaxColumns)
        return true;
    auto &cells = mSheets[sheet].cells;
    const auto key = std::make_pair(row, column);
    if (!value.isValid()) {
        mCellCount -= static_cast<long long>(cells.erase(key));
        return true;
    }
    const auto [it, inserted] = cells.insert_or_assign(key, value);
    Q_UNUSED(it);
    if (inserted && ++mCellCount > MaxCells)
        return false;
    return true;
}

bool CellCollector::markFormulaWithoutResult(int sheet, int row, int column)
{
    if (sheet < 0 || sheet >= int(mSheets.size()) || row < 1 || column < 1 || row > MaxRows || column > MaxColumns)
        return false;
    auto &formulas = mSheets[sheet].formulasWithoutResult;
    // Counted against the same budget as the cells: each one costs memory all the same.
    if (formulas.insert({row, column}).second && ++mCellCount > MaxCells)
        return false;
    return true;
}

QVariant CellCollector::cell(int sheet, int row, int column) const
{
    if (sheet < 0 || sheet >= int(mSheets.size()))
        return {};
    const auto &cells = mSheets[sheet].cells;
    const auto it = cells.find({row, column});
    return it == cells.end() ? QVariant() : it->second;
}

bool CellCollector::moveInto(Workbook &workbook)
{
    // Worksheet stores rows up to the last filled one, each as wide as its last filled cell.
    long long allocated = 0;
    for (const auto &sheet : mSheets) {
        int lastRow = 0;
        for (auto it = sheet.cells.begin(); it != sheet.cells.end(); ++it) {
            const auto next = std::next(it);
            if (next == sheet.cells.end() || next->first.first != it->first.first)
                allocated += it->first.second;
            lastRow = it->first.first;
        }
        allocated += lastRow;
    }
    if (allocated > MaxSlots)
        return false;
    workbook.sheets.clear();
    workbook.sheets.reserve(mSheets.size());
    for (auto &sheet : mSheets) {
        Worksheet out;
        out.name = sheet.name;
        out.formulasWithoutResult.assign(sheet.formulasWithoutResult.begin(), sheet.formulasWithoutResult.end());
        for (const auto &[position, value] : sheet.cells)
            out.setCell(position.first, position.second, value);
        workbook.sheets.push_back(std::move(out));
    }
    mSheets.clear();
    mCellCount = 0;
    return true;
}
