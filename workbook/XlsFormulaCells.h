#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// Finds the formula cells of an .xls file. FreeXL reports them as empty cells, without their
// saved results, so a list built with formulas would look shorter than it is; knowing where
// they are lets the import say so instead.
namespace XlsFormulaCells {

// A formula cell: its worksheet (name and position among the sheets) and place (from 1).
struct Cell
{
    QString sheet;
    int sheetIndex = 0;
    int row = 0;
    int column = 0;
};

// Every formula cell of the workbook stream in the OLE2 file; none for a file it cannot walk
// (FreeXL judges the file itself).
std::vector<Cell> find(const QByteArray &bytes);

}
