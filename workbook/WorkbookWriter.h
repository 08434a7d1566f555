#pragma once

#include <QString>

struct Workbook;

// Saves an in-memory workbook as an .xlsx file. With a template package behind it
// (Workbook::sourcePath an .xlsx/.xltx file) the template's own package is edited, so its
// formats, column widths, merged cells and further sheets stay; otherwise a new workbook is
// built. Only the target path is ever replaced, and only by a complete file.
namespace WorkbookWriter {

// The outcome of a write: ok, or a German message for the user saying what went wrong.
struct Result
{
    bool ok = false;
    QString error;
};

// Writes book to path. On failure path is left as it was (an older file stays unchanged).
Result write(const Workbook &book, const QString &path);

} // namespace WorkbookWriter
