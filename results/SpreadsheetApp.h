#pragma once

#include "workbook/Workbook.h"

#include <QString>

#include <deque>
#include <stdexcept>

class QDateTime;

// A failed step of the spreadsheet application; its text is shown to the operator.
class AutomationError : public std::runtime_error
{
public:
    explicit AutomationError(const QString &text)
        : std::runtime_error(text.toStdString())
        , mText(text)
    {
    }
    const QString &text() const { return mText; }

private:
    QString mText;
};

// The spreadsheet application the results export and the starter-list import drive, in
// process: workbooks are opened from files or added empty and held in memory; showing the
// application saves the workbook as a file of its own, for the desktop's spreadsheet program.
class SpreadsheetApp
{
public:
    // Reads a workbook file (a template, a starter list). Throws AutomationError.
    Workbook &open(const QString &path);
    // A new empty workbook with the worksheets "Ergebnis" and "Runden".
    Workbook &add();

    // Saves the newest workbook as <baseName>-<yyyy-MM-dd>-<HHmmss>.xlsx in folder, never over
    // an existing file, and gives its path. Throws AutomationError.
    QString show(const QString &folder, const QString &baseName, const QDateTime &now);
    // Saves the newest workbook as path (replacing a file there) and gives the path back.
    QString saveAs(const QString &path);

private:
    // Stable addresses: callers keep references to the workbooks they opened.
    std::deque<Workbook> mWorkbooks;
};
