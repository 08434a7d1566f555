#pragma once

#include <QByteArray>
#include <QString>

struct Workbook;

// Writes a workbook into a copy of the .xlsx/.xltx package it was opened from, so that the
// template's cell formats, column widths, merged cells and further sheets stay as they are.
// Only the cells, the sheet names, the document properties and what makes a template a
// template are changed; the result is an ordinary .xlsx workbook.
namespace XlsxPackageEditor {

// True when path names an .xlsx or .xltx file that is a readable package with a workbook.
bool isPackage(const QString &path);

// Builds the edited package of templatePath holding book into *package. Returns an empty
// string on success, else why it failed.
QString write(const Workbook &book, const QString &templatePath, QByteArray *package);

} // namespace XlsxPackageEditor
