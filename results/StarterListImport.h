#pragma once

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

// Reads a starter list: the first worksheet, one starter a row from row 1, number in A, name
// in B, further texts in C..J; the list ends at the first row whose A is empty.
namespace StarterListImport {

// At most this many starters are taken; the rows after them are not read.
inline constexpr int MaxStarters = 20;

struct Result
{
    QList<QStringList> rows; // the starters, each the texts of A..J
    QString error;           // why the file could not be read, for the operator
    QString summary;         // what was taken, for the status bar ("12 Starter aus … übernommen")
    bool ok() const { return !rows.isEmpty(); }
};

// A cell value as text: a number in the locale's decimal form ("7,5"), a text as it is, a truth
// value and an error value as the German spreadsheet shows them.
QString CellText(const QVariant &value, const QLocale &locale);

Result ImportStarterList(const QString &path, const QLocale &locale);

} // namespace StarterListImport
