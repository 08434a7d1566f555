#include "output/SpreadsheetExport.h"

#include "core/ResultsSnapshot.h"
#include "core/TimeText.h"
#include "output/HtmlProtocol.h"
#include "output/SpreadsheetApp.h"

#include <QDir>
#include <QFileInfo>

namespace SpreadsheetExport {
namespace {

// A block of rows x columns, filled from what the sheet holds there (a template's content).
CellBlock readBlock(const Worksheet &sheet, int rows, int columns)
{
    return sheet.values(1, 1, rows, columns);
}

// The first rows x columns of a block, to be written back as one.
CellBlock cut(const CellBlock &block, int rows, int columns)
{
    CellBlock out(rows);
    for (int r = 0; r < rows; ++r) {
        out[r].resize(columns);
        for (int c = 0; c < columns && r < int(block.size()) && c < int(block[r].size()); ++c)
            out[r][c] = block[r][c];
    }
    return out;
}

void put(CellBlock &block, int row, int column, const QString &text)
{
    block[row - 1][column - 1] = text;
}

// Title, type, date and the standings in the eight result columns, from row 6 on.
void fillStandings(CellBlock &block, const ResultsSnapshot &results, const Context &context)
{
    put(block, 2, 3, results.title);
    put(block, 4, 3, results.sessionType);
    put(block, 4, 8, context.date);
    for (int k = 0; k < int(HtmlProtocol::ResultColumns.size()); ++k) {
        const int column = HtmlProtocol::ResultColumns[k];
        put(block, 6, k + 1, results.columnTitles[column]);
        for (int g = 0; g < int(results.rows.size()); ++g)
            put(block, g + 7, k + 1, results.rows[g].cells[column]);
    }
    put(block, 6, 1, QStringLiteral("Platz"));
}

// Every participant's number, name, lap times and total, one column each in the grid's order.
void fillLaps(CellBlock &block, const ResultsSnapshot &results, const Context &context)
{
    const int laps = results.leaderLaps;
    put(block, 1, 2, results.title);
    put(block, 2, 2, QString::number(laps));
    put(block, 3, 2, results.sessionType);
    put(block, 4, 2, context.date);
    for (int j = 1; j <= int(results.rows.size()); ++j) {
        const ResultsSnapshot::Row &row = results.rows[j - 1];
        put(block, 6, j + 1, QString::number(j));
        put(block, 7, j + 1, row.cells[StandingsGrid::Number]);
        put(block, 8, j + 1, row.cells[StandingsGrid::Name]);
        for (int i = 1; i <= std::min(laps, int(row.lapTimes.size())); ++i)
            put(block, i + 9, j + 1, TimeText::FormatRaceTime(row.lapTimes[i - 1], results.decimalSeparator));
        put(block, laps + 10, j + 1, row.cells[StandingsGrid::TotalTime]);
    }
    for (int i = 1; i <= laps; ++i)
        put(block, i + 9, 1, QString::number(i));
    put(block, laps + 10, 1, QStringLiteral("Gesamt:"));
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
    const int n = int(results.rows.size());
    const int rowCount = n + 1;
    const int laps = results.leaderLaps;
    SpreadsheetApp app;
    app.setDisplayAlerts(false);
    Result result;

    // The template frames the values: standings on its second sheet, laps on its first.
    Workbook *book = nullptr;
    int standingsSheet = 2;
    int lapSheet = 1;
    CellBlock standings;
    if (const QString path = templatePath(context.workingDir); !path.isEmpty()) {
        try {
            Workbook &opened = app.open(path);
            if (opened.sheets.size() >= 2) {
                standings = readBlock(opened.sheets[standingsSheet - 1], n + 7, 13);
                book = &opened;
                result.usedTemplate = true;
            }
        } catch (const AutomationError &) {
            // A template that cannot be read gives way to a new workbook, silently.
        }
    }
    if (!book) {
        book = &app.add();
        standingsSheet = 1;
        // Laps on their own sheet, so that both blocks stay whole.
        lapSheet = 2;
        standings = CellBlock(n + 7, std::vector<QVariant>(8));
    }

    fillStandings(standings, results, context);
    book->sheets[standingsSheet - 1].setValues(1, 1, cut(standings, rowCount + 5, 8));

    Worksheet &lapsheet = book->sheets[lapSheet - 1];
    CellBlock lapBlock = cut(readBlock(lapsheet, laps + 11, n + 3), laps + 11, n + 3);
    fillLaps(lapBlock, results, context);
    lapsheet.setValues(1, 1, cut(lapBlock, laps + 11, n + 2));

    book->author = QStringLiteral("Zeitkontor Software");
    book->subject = context.subject;
    book->comments = context.comments;
    book->autofitSheets = {1};

    try {
        result.savedPath = context.targetPath.isEmpty() ? app.show(context.workingDir, context.baseName, context.now)
                                                        : app.saveAs(context.targetPath);
    } catch (const AutomationError &error) {
        result.error = error.text();
    }
    return result;
}

} // namespace SpreadsheetExport
