#include "results/SpreadsheetExport.h"

#include "core/CorrectionText.h"
#include "core/ResultColumns.h"
#include "core/ResultsSnapshot.h"
#include "core/TimeText.h"
#include "results/SpreadsheetApp.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace SpreadsheetExport {
namespace {

// The columns of CorrectionText::ColumnTitles() whose cells are typed.
namespace CorrectionColumn {
enum : int { WallClock, RaceTime, Operator, Action, Participant, Lap, Old, New, Reason };
} // namespace CorrectionColumn

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

// The typed value of a correction's cell: its race times and pass times calculate like the
// standings' times, a plain participant or lap number is a number; the rest is the trail's text.
QVariant correctionValue(int column, const QString &text, QChar decimalSeparator)
{
    switch (column) {
    case CorrectionColumn::RaceTime:
    case CorrectionColumn::Old:
    case CorrectionColumn::New: return durationOrText(text, decimalSeparator);
    case CorrectionColumn::Participant:
    case CorrectionColumn::Lap: return integerOrText(text);
    default: return text;
    }
}

// The corrections in effect under the trail's titles, one row each, on a sheet of their own.
// Only a corrected race gets it, so the workbooks of all other races stay as they were; a
// template that has a sheet of that name gets them there, framed as its author wished.
// Gives the sheet's number (from 1), 0 when there is none.
int fillCorrections(Workbook &book, const ResultsSnapshot &results)
{
    if (results.corrections.empty())
        return 0;
    const QString name = QString::fromLatin1(CorrectionsSheetName);
    auto sheet = std::find_if(book.sheets.begin(), book.sheets.end(), [&](const Worksheet &s) {
        return s.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (sheet == book.sheets.end()) {
        sheet = book.sheets.emplace(book.sheets.end());
        sheet->name = name;
    }
    const QStringList &titles = CorrectionText::ColumnTitles();
    for (int c = 0; c < int(titles.size()); ++c)
        sheet->setCell(1, c + 1, titles[c]);
    for (int r = 0; r < int(results.corrections.size()); ++r) {
        const QStringList cells = CorrectionText::cells(results.corrections[std::size_t(r)], results.decimalSeparator);
        // A cell without text stays empty rather than holding an empty text ("Alt" of an insertion).
        for (int c = 0; c < int(cells.size()); ++c) {
            if (!cells[c].isEmpty())
                sheet->setCell(r + 2, c + 1, correctionValue(c, cells[c], results.decimalSeparator));
        }
    }
    return int(sheet - book.sheets.begin()) + 1;
}

// Both blocks into the book: standings and laps on their sheets (numbered from 1), and the
// corrections when there are any.
void fill(Workbook &book, int standingsSheet, int lapSheet, const ResultsSnapshot &results, const Context &context)
{
    fillStandings(book.sheets[standingsSheet - 1], results, context);
    fillLaps(book.sheets[lapSheet - 1], results, context);
    const int correctionsSheet = fillCorrections(book, results);
    book.author = QStringLiteral("Zeitkontor Software");
    book.subject = context.subject;
    book.comments = context.comments;
    book.decimalSeparator = results.decimalSeparator;
    // Names, times and reasons are not clipped on any sheet (a template's .xlsx keeps its own widths).
    book.autofitSheets = {1, 2};
    if (correctionsSheet > 0)
        book.autofitSheets.push_back(correctionsSheet);
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
