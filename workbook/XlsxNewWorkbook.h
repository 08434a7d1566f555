#pragma once

#include <QString>
#include <QStringList>

struct Workbook;

// Writes a workbook as a new .xlsx file with libxlsxwriter, for when there is no template
// package whose formats could be kept.
namespace XlsxNewWorkbook {

// The widest a fitted column becomes, in characters, so one long text cannot take the screen.
inline constexpr double maxFittedWidth = 80;

// Writes book to path (overwriting it) with one worksheet per sheet, named sheetNames
// (already valid for .xlsx). Returns an empty string on success, else why it failed.
QString write(const Workbook &book, const QStringList &sheetNames, const QString &path);

// The fitted width of a column whose longest cell text has the given number of characters.
double fittedWidth(int characters);

} // namespace XlsxNewWorkbook
