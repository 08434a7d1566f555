#include "results/SpreadsheetApp.h"

#include "workbook/WorkbookReader.h"
#include "workbook/WorkbookWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

Workbook &SpreadsheetApp::open(const QString &path)
{
    WorkbookReader::Result read = WorkbookReader::read(path);
    if (!read.workbook)
        throw AutomationError(read.error);
    mWorkbooks.push_back(std::move(*read.workbook));
    return mWorkbooks.back();
}

Workbook &SpreadsheetApp::add()
{
    Workbook &book = mWorkbooks.emplace_back();
    book.sheets.resize(2);
    book.sheets[0].name = QStringLiteral("Ergebnis");
    book.sheets[1].name = QStringLiteral("Runden");
    return book;
}

QString SpreadsheetApp::show(const QString &folder, const QString &baseName, const QDateTime &now)
{
    if (mWorkbooks.empty())
        throw AutomationError(QStringLiteral("Keine Arbeitsmappe offen"));
    const QDir dir(folder);
    const QString stem = baseName + now.toString(QStringLiteral("-yyyy-MM-dd-HHmmss"));
    // An earlier export of the same second is never overwritten.
    QString path = dir.absoluteFilePath(stem + QStringLiteral(".xlsx"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.absoluteFilePath(QStringLiteral("%1-%2.xlsx").arg(stem).arg(n));
    return saveAs(path);
}

QString SpreadsheetApp::saveAs(const QString &path)
{
    if (mWorkbooks.empty())
        throw AutomationError(QStringLiteral("Keine Arbeitsmappe offen"));
    const WorkbookWriter::Result written = WorkbookWriter::write(mWorkbooks.back(), path);
    if (!written.ok)
        throw AutomationError(written.error);
    return path;
}
