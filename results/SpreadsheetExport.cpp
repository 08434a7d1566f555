#include "results/SpreadsheetExport.h"

#include "core/ResultColumns.h"
#include "core/ResultsSnapshot.h"
#include "core/TimeText.h"
#include "results/SpreadsheetApp.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace SpreadsheetExport {
namespace {

// A whole number as the grid shows it ("7", not "007" or "7,0"), else the text as it is.
QVariant integerOrText(const QString &text)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok && QString::number(number) == text ? QVariant(double(number)) : QVariant(text);
}

// A race time as the grid shows it ("1:02,34", "1:02:03,45") as a duration; any other text
// ("1 Runde", "-") as it is.
QVariant durationOrText(const QString &text, QChar decimalSeparator)
{
    static const QRegularExpression time(QStringLiteral("^(?:[0-9]{1,2}:[0-5][0-9]|[0-9]{1,2}):[0-5][0-9].[0-9]{2}$"));
    if (!time.match(text).hasMatch() || text.at(text.size() - 3) != decimalSeparator)
        return text;
    return QVariant::fromValue(CellDuration{TimeText::ParseRaceTime(text)});
}

// The typed value of a standings cell: numbers and times calculate, places stay "1.".
QVariant standingsValue(int column, const QString &text, QChar decimalSeparator)
{
    switch (column) {
    case StandingsGrid::Number:
    case StandingsGrid::Laps: return integerOrText(text);
    case StandingsGrid::TotalTime:
    case StandingsGrid::BestLap:
    case StandingsGrid::GapToLeader:
    case StandingsGrid::GapAhead: return durationOrText(text, decimalSeparator);
    default: return text;
    }
}

// Title, type, date and the standings in the eight result columns, from row 6 on.
void fillStandings(Worksheet &sheet, const ResultsSnapshot &results, const Context &context)
{
    sheet.setCell(2, 3, results.title);
    sheet.setCell(4, 3, results.sessionType);
    sheet.setCell(4, 8, context.date);
    for (int k = 0; k < int(ResultColumns.size()); ++k) {
        const int column = ResultColumns[k];
        sheet.setCell(6, k + 1, k == 0 ? QStringLiteral("Platz") : results.columnTitles[column]);
        for (int g = 0; g < int(results.rows.size()); ++g)
            sheet.setCell(g + 7, k + 1, standingsValue(column, results.rows[g].cells[column], results.decimalSeparator));
    }
}

// Every participant's number, name, lap times and total, one column each in the grid's order.
void fillLaps(Worksheet &sheet, const ResultsSnapshot &results, const Context &context)
{
    const int laps = results.leaderLaps;
    sheet.setCell(1, 2, results.title);
    sheet.setCell(2, 2, double(laps));
    sheet.setCell(3, 2, results.sessionType);
    sheet.setCell(4, 2, context.date);
    for (int i = 1; i <= laps; ++i)
        sheet.setCell(i + 9, 1, double(i));
    sheet.setCell(laps + 10, 1, QStringLiteral("Gesamt:"));
    for (int j = 1; j <= int(results.rows.size()); ++j) {
        const ResultsSnapshot::Row &row = results.rows[j - 1];
        sheet.setCell(6, j + 1, double(j));
        sheet.setCell(7, j + 1, integerOrText(row.cells[StandingsGrid::Number]));
        sheet.setCell(8, j + 1, row.cells[StandingsGrid::Name]);
        for (int i = 1; i <= std::min(laps, int(row.lapTimes.size())); ++i)
            sheet.setCell(i + 9, j + 1, QVariant::fromValue(CellDuration{row.lapTimes[i - 1]}));
        sheet.setCell(laps + 10, j + 1, durationOrText(row.cells[StandingsGrid::TotalTime], results.decimalSeparator));
    }
}

// Both blocks into the book: standings and laps on their sheets (numbered from 1).
void fill(Workbook &book, int standingsSheet, int lapSheet, const ResultsSnapshot &results, const Context &context)
{
    fillStandings(book.sheets[standingsSheet - 1], results, context);
    fillLaps(book.sheets[lapSheet - 1], results, context);
    book.author = QStringLiteral("Zeitkontor Software");
    book.subject = context.subject;
    book.comments = context.comments;
    book.decimalSeparator = results.decimalSeparator;
    // Names and times are not clipped on either sheet (a template's .xlsx keeps its own widths).
    book.autofitSheets = {1, 2};
}

Result save(SpreadsheetApp &app, const Context &context)
{
    Result result;
    try {
        result.savedPath = context.targetPath.isEmpty() ? app.show(context.workingDir, context.baseName, context.now)
                                                        : app.saveAs(context.targetPath);
    } catch (const AutomationError &error) {
        result.error = error.text();
    }
    return result;
}

QString templatePath(const QString &workingDir)
{
    for (const char *name : TemplateNames) {
        const QString path = QDir(workingDir).absoluteFilePath(QString::fromLatin1(name));
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

} // namespace

Result ExportSpreadsheet(const ResultsSnapshot &results, const Context &context)
{
    SpreadsheetApp app;
    QString notice;

    // The template frames the values: standings on its second sheet, laps on its first. Only
    // the cells written change; everything else of the template stays.
    if (const QString path = templatePath(context.workingDir); !path.isEmpty()) {
        const QString name = QFileInfo(path).fileName();
        try {
            Workbook &book = app.open(path);
            if (book.sheets.size() >= 2) {
                for (Worksheet &sheet : book.sheets)
                    sheet.noteChanges();
                fill(book, 2, 1, results, context);
                Result result = save(app, context);
                if (result.ok()) {
                    result.usedTemplate = true;
                    return result;
                }
                notice = QStringLiteral("Vorlage %1 nicht verwendbar (%2)").arg(name, result.error);
            } else {
                notice = QStringLiteral("Vorlage %1 hat nur eine Tabelle").arg(name);
            }
        } catch (const AutomationError &error) {
            notice = QStringLiteral("Vorlage %1 nicht lesbar (%2)").arg(name, error.text());
        }
    }

    // A new workbook: standings on "Ergebnis", laps on "Runden", so that both blocks stay whole.
    Workbook &book = app.add();
    fill(book, 1, 2, results, context);
    Result result = save(app, context);
    result.notice = notice;
    return result;
}

} // namespace SpreadsheetExport
