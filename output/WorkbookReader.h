#pragma once

#include "output/Workbook.h"

#include <QString>

#include <optional>

// Reads a spreadsheet file into memory: .xls/.xlt, .xlsx/.xltx, .ods and .csv, told apart by
// their contents (a file saved under the wrong extension still opens).
namespace WorkbookReader {

// Either the workbook, or the German message saying why the file cannot be used.
struct Result
{
    std::optional<Workbook> workbook;
    QString error;
};

// All worksheets in order with their cell values; never throws or crashes on a bad file.
Result read(const QString &path);

}
