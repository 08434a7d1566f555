#include "ZipEntry.h"
#include "CorrectedRace.h"
#include "RaceDriver.h"
#include "core/CorrectionText.h"
#include "core/ResultColumns.h"
#include "core/ResultsSnapshot.h"
#include "core/TimeText.h"
#include "results/SpreadsheetExport.h"
#include "results/StarterListImport.h"
#include "workbook/WorkbookReader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <map>
#include <sstream>
#include <string>

#include <pugixml.hpp>
#include <zip.h>

using Kind = RaceInput::Kind;
using Col = StandingsGrid::Column;


namespace {

// Every sheet of the workbook as LibreOffice shows it, each in "<dir>/csv/<name>-<sheet>.csv"
// (token 9: cells as shown; token 12 = -1: a file per sheet). LibreOffice runs in a locale
// of its own, so the times must carry the program's separators by themselves. Returns what
// LibreOffice said on its error output, for a failure message.
QString convertSheetsToCsv(const QString &soffice, const QString &workbook, const QTemporaryDir &dir)
{
    QProcess office;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    office.setProcessEnvironment(environment);
    office.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                           QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                           QStringLiteral("csv:Text - txt - csv (StarCalc):59,34,76,1,,0,false,true,true,false,false,-1"),
                           QStringLiteral("--outdir"), dir.filePath(QStringLiteral("csv")), workbook});
    if (!office.waitForFinished(180000))
        return QStringLiteral("LibreOffice did not finish");
    return QString::fromUtf8(office.readAllStandardError());
}

// A template package written by hand, part by part, as a spreadsheet program would save one:
// formulas of every kind outside the blocks the export writes, a shared formula anchored
// inside the standings block, a defined name, a merge, a column width and a chart sheet.
const std::map<std::string, std::string> &templateParts()
{
    static const std::string main = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                                    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    static const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    static const std::string ct = "application/vnd.openxmlformats-officedocument.";
    static const std::map<std::string, std::string> parts = {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" + ct + "spreadsheetml.template.main+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" + ct + "spreadsheetml.worksheet+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet2.xml\" ContentType=\"" + ct + "spreadsheetml.worksheet+xml\"/>"
         "<Override PartName=\"/xl/chartsheets/sheet1.xml\" ContentType=\"" + ct + "spreadsheetml.chartsheet+xml\"/>"
         "<Override PartName=\"/xl/drawings/drawing1.xml\" ContentType=\"" + ct + "drawing+xml\"/>"
         "<Override PartName=\"/xl/charts/chart1.xml\" ContentType=\"" + ct + "drawingml.chart+xml\"/>"
         "<Override PartName=\"/xl/styles.xml\" ContentType=\"" + ct + "spreadsheetml.styles+xml\"/>"
         "</Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<workbook " + main + "><sheets>"
         "<sheet name=\"Runden\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Ergebnis\" sheetId=\"2\" r:id=\"rId2\"/>"
         "<sheet name=\"Diagramm\" sheetId=\"3\" r:id=\"rId3\"/></sheets>"
         "<definedNames><definedName name=\"Runden_gesamt\">Ergebnis!$J$2</definedName></definedNames>"
         "<calcPr calcId=\"191029\"/></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
         "<Relationship Id=\"rId2\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet2.xml\"/>"
         "<Relationship Id=\"rId3\" Type=\"" + rel + "chartsheet\" Target=\"chartsheets/sheet1.xml\"/>"
         "<Relationship Id=\"rId4\" Type=\"" + rel + "styles\" Target=\"styles.xml\"/></Relationships>"},
        {"xl/styles.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font><font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
         "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
         "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
         "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
         "<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
         "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/>"
         "<xf numFmtId=\"46\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/></cellXfs>"
         "</styleSheet>"},
        {"xl/worksheets/sheet1.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet " + main + "><sheetData>"
         "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Rennen:</t></is></c><c r=\"H1\" t=\"b\"><f>B2&gt;2</f><v>0</v></c></row>"
         "</sheetData></worksheet>"},
        {"xl/worksheets/sheet2.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet " + main + "><dimension ref=\"A2:K12\"/>"
         "<cols><col min=\"10\" max=\"10\" width=\"30\" customWidth=\"1\"/></cols><sheetData>"
         "<row r=\"2\"><c r=\"C2\" s=\"1\"/><c r=\"J2\"><f>SUM(D7:D30)</f></c>"
         "<c r=\"K2\"><f t=\"array\" ref=\"K2\">SUM(D7:D9*2)</f><v>0</v></c></row>"
         "<row r=\"3\"><c r=\"J3\" t=\"b\"><f>J2&gt;2</f><v>0</v></c></row>"
         "<row r=\"4\"><c r=\"J4\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c></row>"
         "<row r=\"5\"><c r=\"J5\"><f>J2*2</f></c></row>"
         "<row r=\"7\"><c r=\"E7\" s=\"2\"/></row>"
         "<row r=\"9\"><c r=\"H9\"><f t=\"shared\" ref=\"H9:H11\" si=\"0\">D7*10</f><v>0</v></c></row>"
         "<row r=\"10\"><c r=\"H10\"><f t=\"shared\" si=\"0\"/><v>0</v></c></row>"
         "<row r=\"11\"><c r=\"H11\"><f t=\"shared\" si=\"0\"/><v>0</v></c></row>"
         "<row r=\"12\"><c r=\"J12\" t=\"inlineStr\"><is><t>verbunden</t></is></c></row>"
         "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"J12:K12\"/></mergeCells></worksheet>"},
        {"xl/chartsheets/sheet1.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<chartsheet " + main + "><sheetPr/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
         "<drawing r:id=\"rId1\"/></chartsheet>"},
        {"xl/chartsheets/_rels/sheet1.xml.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"" + rel + "drawing\" Target=\"../drawings/drawing1.xml\"/></Relationships>"},
        {"xl/drawings/drawing1.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
         "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
         "<xdr:absoluteAnchor><xdr:pos x=\"0\" y=\"0\"/><xdr:ext cx=\"8000000\" cy=\"5000000\"/>"
         "<xdr:graphicFrame macro=\"\"><xdr:nvGraphicFramePr><xdr:cNvPr id=\"2\" name=\"Diagramm 1\"/><xdr:cNvGraphicFramePr/>"
         "</xdr:nvGraphicFramePr><xdr:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/></xdr:xfrm>"
         "<a:graphic><a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/chart\">"
         "<c:chart xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" r:id=\"rId1\"/>"
         "</a:graphicData></a:graphic></xdr:graphicFrame><xdr:clientData/></xdr:absoluteAnchor></xdr:wsDr>"},
        {"xl/drawings/_rels/drawing1.xml.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"" + rel + "chart\" Target=\"../charts/chart1.xml\"/></Relationships>"},
        {"xl/charts/chart1.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
         "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><c:chart><c:plotArea><c:layout/>"
         "<c:barChart><c:barDir val=\"col\"/><c:grouping val=\"clustered\"/><c:ser><c:idx val=\"0\"/><c:order val=\"0\"/>"
         "<c:val><c:numRef><c:f>Ergebnis!$D$7:$D$9</c:f></c:numRef></c:val></c:ser>"
         "<c:axId val=\"1\"/><c:axId val=\"2\"/></c:barChart>"
         "<c:catAx><c:axId val=\"1\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling><c:axPos val=\"b\"/><c:crossAx val=\"2\"/></c:catAx>"
         "<c:valAx><c:axId val=\"2\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling><c:axPos val=\"l\"/><c:crossAx val=\"1\"/></c:valAx>"
         "</c:plotArea></c:chart></c:chartSpace>"},
    };
    return parts;
}

bool writeZip(const QString &path, const std::map<std::string, std::string> &parts)
{
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const auto &[name, data] : parts) {
        zip_source_t *source = zip_source_buffer(archive, data.data(), data.size(), 0);
        if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}


// The cells of a worksheet part by reference, each as its XML; a formula without its stored
// result, which the export takes out so that the spreadsheet program calculates it anew.
QMap<QString, QString> cellsOf(const QByteArray &xml)
{
    QMap<QString, QString> cells;
    pugi::xml_document document;
    document.load_buffer(xml.constData(), std::size_t(xml.size()));
    for (const pugi::xpath_node &cell : document.select_nodes("//*[local-name()='c']")) {
        if (cell.node().child("f")) {
            cell.node().remove_child("v");
            cell.node().remove_attribute("t");
        }
        std::ostringstream out;
        cell.node().print(out, "", pugi::format_raw);
        cells.insert(QString::fromUtf8(cell.node().attribute("r").value()), QString::fromStdString(out.str()));
    }
    return cells;
}

// Row and column of a reference such as "J12".
QPoint placeOf(const QString &reference)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < reference.size() && reference[i].isLetter(); ++i)
        column = column * 26 + (reference[i].unicode() - 'A' + 1);
    return {column, reference.mid(i).toInt()};
}

QString xmlOf(const QByteArray &xml, const char *xpath)
{
    pugi::xml_document document;
    document.load_buffer(xml.constData(), std::size_t(xml.size()));
    std::ostringstream out;
    document.select_node(xpath).node().print(out, "", pugi::format_raw);
    return QString::fromStdString(out.str());
}

} // namespace

// The results workbook read back cell by cell, and the starter lists a real spreadsheet
// application saved, in every format.
class TestSpreadsheet : public QObject
{
    Q_OBJECT

    // A stopped race of n participants: participant 1 runs `laps` laps, the others fewer,
    // the last one lapped and marked out; numbers and names as a starter list would give, or
    // none at all (empty names), as at an event run without a list.
    static ResultsSnapshot race(int n, int laps, bool starterList = true)
    {
        RaceDriver d;
        QList<QStringList> starters;
        for (int p = 1; p <= n; ++p)
            starters << QStringList{QString::number(100 + p), QStringLiteral("Team Ä%1 <&>").arg(p)};
        if (starterList)
            d.core.apply({.kind = Kind::StarterListImported, .table = starters});
        d.start();
        for (int lap = 1; lap <= laps; ++lap) {
            for (int p = 1; p <= n; ++p) {
                if (lap <= laps - (p - 1) % 5)
                    d.book(p, lap * 60000 + p * 997);
            }
        }
        d.stop(true);
        d.send(Kind::MarkOut, d.rowOf(n));
        return ResultsSnapshot::of(d.core);
    }

    static SpreadsheetExport::Context context(const QString &dir)
    {
        return {.date = QStringLiteral("08.12.2026"), .subject = QStringLiteral("Chronolauf v1.8"),
                .comments = QStringLiteral("https://www.chronolauf.example/"), .workingDir = dir,
                .baseName = QStringLiteral("chronolauf-Ergebnis"), .now = QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7))};
    }

    static QString text(const Worksheet &sheet, int row, int column) { return sheet.cell(row, column).toString(); }

    // The grid text a read-back cell shows: a number as a whole number, a duration (a
    // fraction of a day) as a race time. Numbers and times must come back as numbers.
    static QString shown(const Worksheet &sheet, int row, int column, const QString &expected)
    {
        static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
        static const QRegularExpression time(QStringLiteral("^[0-9:]+,[0-9]{2}$"));
        const QVariant value = sheet.cell(row, column);
        const bool numeric = value.typeId() == QMetaType::Double;
        if (number.match(expected).hasMatch() || time.match(expected).hasMatch()) {
            if (!numeric)
                return QStringLiteral("text ") + value.toString();
        } else if (numeric) {
            return QStringLiteral("number ") + value.toString();
        }
        if (!numeric)
            return value.toString();
        if (expected.contains(u':'))
            return TimeText::FormatRaceTime(std::int32_t(qRound64(value.toDouble() * 86400000.0)), QLatin1Char(','));
        return QString::number(value.toDouble());
    }

    // Every cell of the standings block (rows 1..n+6, columns A..H) as the results give it.
    static void compareStandings(const Worksheet &sheet, const ResultsSnapshot &r)
    {
        QCOMPARE(text(sheet, 2, 3), r.title);
        QCOMPARE(text(sheet, 4, 3), r.sessionType);
        QCOMPARE(text(sheet, 4, 8), QStringLiteral("08.12.2026"));
        QCOMPARE(text(sheet, 6, 1), QStringLiteral("Platz"));
        for (int k = 0; k < 8; ++k) {
            const int column = ResultColumns[k];
            if (k > 0)
                QCOMPARE(text(sheet, 6, k + 1), r.columnTitles[column]);
            for (int g = 0; g < int(r.rows.size()); ++g)
                QCOMPARE(shown(sheet, g + 7, k + 1, r.rows[g].cells[column]), r.rows[g].cells[column]);
        }
    }

    // Every cell of the lap block (rows 1..L+10, columns A..n+1).
    static void compareLaps(const Worksheet &sheet, const ResultsSnapshot &r)
    {
        const int laps = r.leaderLaps;
        QCOMPARE(text(sheet, 1, 2), r.title);
        QCOMPARE(shown(sheet, 2, 2, QString::number(laps)), QString::number(laps));
        QCOMPARE(text(sheet, 3, 2), r.sessionType);
        QCOMPARE(text(sheet, laps + 10, 1), QStringLiteral("Gesamt:"));
        for (int i = 1; i <= laps; ++i)
            QCOMPARE(shown(sheet, i + 9, 1, QString::number(i)), QString::number(i));
        for (int j = 1; j <= int(r.rows.size()); ++j) {
            const ResultsSnapshot::Row &row = r.rows[j - 1];
            QCOMPARE(shown(sheet, 6, j + 1, QString::number(j)), QString::number(j));
            QCOMPARE(shown(sheet, 7, j + 1, row.cells[Col::Number]), row.cells[Col::Number]);
            QCOMPARE(text(sheet, 8, j + 1), row.cells[Col::Name]);
            for (int i = 1; i <= laps; ++i) {
                const QString expected = i <= int(row.lapTimes.size()) ? RaceDriver::time(row.lapTimes[i - 1]) : QString();
                QCOMPARE(shown(sheet, i + 9, j + 1, expected), expected);
            }
            QCOMPARE(shown(sheet, laps + 10, j + 1, row.cells[Col::TotalTime]), row.cells[Col::TotalTime]);
        }
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void exportRace_data()
    {
        QTest::addColumn<int>("participants");
        QTest::addColumn<int>("laps");
        QTest::addColumn<QString>("templateFile");
        QTest::addColumn<int>("standingsSheet");
        QTest::addColumn<bool>("starterList");
        QTest::newRow("20 x 160, new workbook") << 20 << 160 << QString() << 1 << true;
        QTest::newRow("no laps yet") << 4 << 0 << QString() << 1 << true;
        QTest::newRow("xlt template") << 6 << 5 << "Ergebnis-Mustervorlage.xlt" << 2 << true;
        QTest::newRow("xltx template") << 6 << 5 << "Ergebnis-Mustervorlage.xltx" << 2 << true;
        QTest::newRow("template of one sheet") << 6 << 5 << "one-sheet.xlt" << 1 << true;
        // No starter list: every name is an empty text, which must read back as an empty cell.
        QTest::newRow("no names, new workbook") << 6 << 5 << QString() << 1 << false;
        QTest::newRow("no names, xlt template") << 6 << 5 << "Ergebnis-Mustervorlage.xlt" << 2 << false;
        QTest::newRow("no names, xltx template") << 6 << 5 << "Ergebnis-Mustervorlage.xltx" << 2 << false;
    }

    void exportRace()
    {
        QFETCH(int, participants);
        QFETCH(int, laps);
        QFETCH(QString, templateFile);
        QFETCH(int, standingsSheet);
        QFETCH(bool, starterList);
        QTemporaryDir dir;
        if (!templateFile.isEmpty()) {
            const QString name = templateFile.startsWith(QLatin1String("one-sheet")) ? QStringLiteral("Ergebnis-Mustervorlage.xlt") : templateFile;
            QVERIFY(QFile::copy(QFINDTESTDATA(QStringLiteral("data/templates/") + templateFile), dir.filePath(name)));
        }
        const ResultsSnapshot results = race(participants, laps, starterList);
        for (const ResultsSnapshot::Row &row : results.rows)
            QCOMPARE(row.cells[Col::Name].isEmpty(), !starterList);
        QCOMPARE(results.leaderLaps, laps);
        const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        QVERIFY2(exported.ok(), qPrintable(exported.error));
        QCOMPARE(exported.savedPath, dir.filePath(QStringLiteral("chronolauf-Ergebnis-2026-12-08-090507.xlsx")));
        QCOMPARE(exported.usedTemplate, standingsSheet == 2);

        const WorkbookReader::Result read = WorkbookReader::read(exported.savedPath);
        QVERIFY2(read.workbook, qPrintable(read.error));
        const Workbook &book = *read.workbook;
        QVERIFY(book.sheets.size() >= 2);
        const Worksheet &standings = book.sheets[standingsSheet - 1];
        const Worksheet &lapSheet = book.sheets[standingsSheet == 2 ? 0 : 1];
        compareStandings(standings, results);
        compareLaps(lapSheet, results);
        if (!starterList) {
            for (int j = 1; j <= int(results.rows.size()); ++j)
                QVERIFY2(!lapSheet.cell(8, j + 1).isValid(), qPrintable(lapSheet.cell(8, j + 1).toString()));
            // No cell points at an empty shared string (which orcus reads as the entry before).
            const QByteArray strings = zipEntry(exported.savedPath, "xl/sharedStrings.xml");
            QVERIFY(!strings.contains("<t/>") && !strings.contains("<t></t>"));
        }
        // Nothing beyond the blocks in a new workbook; the template's own texts survive.
        if (standingsSheet == 1) {
            QCOMPARE(standings.usedRows(), int(results.rows.size()) + 6);
            QCOMPARE(standings.usedColumns(), 8);
            QCOMPARE(lapSheet.usedColumns(), int(results.rows.size()) + 1);
        } else {
            QCOMPARE(text(standings, 2, 10), QStringLiteral("Erstellt mit Vorlage"));
        }
    }

    // What the operator's own spreadsheet program shows: both sheets through LibreOffice, every
    // time, number and text exactly as the grid shows it.
    void exportOpensInLibreOffice_data()
    {
        QTest::addColumn<QString>("templateFile");
        QTest::addColumn<bool>("starterList");
        QTest::newRow("new workbook") << QString() << true;
        QTest::newRow("xltx template") << QStringLiteral("Ergebnis-Mustervorlage.xltx") << true;
        QTest::newRow("no names, xltx template") << QStringLiteral("Ergebnis-Mustervorlage.xltx") << false;
    }

    void exportOpensInLibreOffice()
    {
        QFETCH(QString, templateFile);
        QFETCH(bool, starterList);
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed (Debian package libreoffice-calc-nogui); ./test installs it");
        QTemporaryDir dir;
        if (!templateFile.isEmpty())
            QVERIFY(QFile::copy(QFINDTESTDATA(QStringLiteral("data/templates/") + templateFile), dir.filePath(templateFile)));
        // Past an hour, so that both time forms show.
        const ResultsSnapshot results = race(20, 70, starterList);
        const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        QVERIFY2(exported.ok(), qPrintable(exported.error));
        QCOMPARE(exported.usedTemplate, !templateFile.isEmpty());
        const QString officeErrors = convertSheetsToCsv(soffice, exported.savedPath, dir);
        const auto sheet = [&](const char *name) {
            QFile csv(dir.filePath(QStringLiteral("csv/chronolauf-Ergebnis-2026-12-08-090507-%1.csv").arg(QLatin1String(name))));
            if (!csv.open(QIODevice::ReadOnly))
                return QList<QStringList>();
            QList<QStringList> rows;
            for (const QString &line : QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'))) {
                QStringList cells = line.split(QLatin1Char(';'));
                for (QString &cell : cells) {
                    if (cell.startsWith(QLatin1Char('"')))
                        cell = cell.mid(1, cell.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
                }
                rows.append(cells);
            }
            return rows;
        };
        const QList<QStringList> standings = sheet("Ergebnis");
        const QList<QStringList> laps = sheet("Runden");
        QVERIFY2(!standings.isEmpty() && !laps.isEmpty(), qPrintable(officeErrors));
        QCOMPARE(standings.value(1).value(2), results.title);
        bool pastAnHour = false;
        for (int g = 0; g < 20; ++g) {
            for (int k = 0; k < 8; ++k)
                QCOMPARE(standings.value(g + 6).value(k), results.rows[g].cells[ResultColumns[k]]);
        }
        QCOMPARE(laps.value(1).value(1), QString::number(results.leaderLaps));
        for (int j = 1; j <= 20; ++j) {
            const ResultsSnapshot::Row &row = results.rows[j - 1];
            QCOMPARE(laps.value(6).value(j), row.cells[Col::Number]);
            QCOMPARE(laps.value(7).value(j), row.cells[Col::Name]);
            for (int i = 1; i <= results.leaderLaps; ++i) {
                const QString expected = i <= int(row.lapTimes.size()) ? RaceDriver::time(row.lapTimes[i - 1]) : QString();
                QCOMPARE(laps.value(i + 8).value(j), expected);
                QCOMPARE(laps.value(i + 8).value(0), QString::number(i));
            }
            QCOMPARE(laps.value(results.leaderLaps + 9).value(j), row.cells[Col::TotalTime]);
            pastAnHour = pastAnHour || row.cells[Col::TotalTime].count(u':') == 2;
        }
        QVERIFY(pastAnHour);
    }

    // A template with formulas of every kind, a shared formula anchored in the standings block
    // and a chart sheet: the export writes its cells and nothing else, and LibreOffice
    // calculates the template's formulas over the numbers written.
    void templateRoundTrip()
    {
        QTemporaryDir dir;
        const QString templatePath = dir.filePath(QStringLiteral("Ergebnis-Mustervorlage.xltx"));
        QVERIFY(writeZip(templatePath, templateParts()));
        const ResultsSnapshot results = race(3, 5);
        const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        QVERIFY2(exported.ok(), qPrintable(exported.error));
        QVERIFY2(exported.usedTemplate, qPrintable(exported.notice));
        QVERIFY(exported.notice.isEmpty());

        // The cells the export writes: the standings block on "Ergebnis", the laps on "Runden".
        const int n = 3;
        const int laps = results.leaderLaps;
        const auto standingsWritten = [&](QPoint p) {
            return (p.y() == 2 && p.x() == 3) || (p.y() == 4 && (p.x() == 3 || p.x() == 8))
                || (p.y() >= 6 && p.y() <= n + 6 && p.x() <= 8);
        };
        const auto lapsWritten = [&](QPoint p) {
            return (p.x() == 2 && p.y() <= 4) || (p.x() == 1 && p.y() >= 10 && p.y() <= laps + 10)
                || (p.x() >= 2 && p.x() <= n + 1 && p.y() >= 6 && p.y() <= laps + 10);
        };
        const QString out = exported.savedPath;
        for (const auto &[part, written] : {std::pair{"xl/worksheets/sheet2.xml", std::function<bool(QPoint)>(standingsWritten)},
                                            std::pair{"xl/worksheets/sheet1.xml", std::function<bool(QPoint)>(lapsWritten)}}) {
            const QMap<QString, QString> before = cellsOf(zipEntry(templatePath, part));
            const QMap<QString, QString> after = cellsOf(zipEntry(out, part));
            for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
                if (written(placeOf(it.key())) || it.key() == QLatin1String("H10") || it.key() == QLatin1String("H11"))
                    continue;
                QCOMPARE(after.value(it.key()), it.value());
            }
            for (auto it = after.constBegin(); it != after.constEnd(); ++it)
                QVERIFY2(written(placeOf(it.key())) || before.contains(it.key()), qPrintable(it.key()));
        }
        // The shared formula's other cells hold it as plain formulas now. No formula keeps a result.
        QVERIFY(!zipEntry(out, "xl/worksheets/sheet2.xml").contains("<v>#DIV/0!</v>"));
        QVERIFY(zipEntry(out, "xl/worksheets/sheet1.xml").contains("<c r=\"H1\"><f>B2&gt;2</f></c>"));
        const QMap<QString, QString> standingsCells = cellsOf(zipEntry(out, "xl/worksheets/sheet2.xml"));
        QCOMPARE(standingsCells.value(QStringLiteral("H10")), QStringLiteral("<c r=\"H10\"><f>D8*10</f></c>"));
        QCOMPARE(standingsCells.value(QStringLiteral("H11")), QStringLiteral("<c r=\"H11\"><f>D9*10</f></c>"));
        // A cell with a time format of its own keeps it; numbers are numbers.
        QVERIFY2(standingsCells.value(QStringLiteral("E7")).startsWith(QStringLiteral("<c r=\"E7\" s=\"2\"><v>")),
                 qPrintable(standingsCells.value(QStringLiteral("E7"))));
        QVERIFY2(standingsCells.value(QStringLiteral("D7")).startsWith(QStringLiteral("<c r=\"D7\"><v>5</v>")),
                 qPrintable(standingsCells.value(QStringLiteral("D7"))));
        // Chart sheet, drawing, chart, names, widths and merges as they were.
        for (const char *part : {"xl/chartsheets/sheet1.xml", "xl/chartsheets/_rels/sheet1.xml.rels", "xl/drawings/drawing1.xml",
                                 "xl/charts/chart1.xml"})
            QCOMPARE(zipEntry(out, part), zipEntry(templatePath, part));
        for (const auto &[part, xpath] : {std::pair{"xl/workbook.xml", "//*[local-name()='definedNames']"},
                                          std::pair{"xl/workbook.xml", "//*[local-name()='sheets']"},
                                          std::pair{"xl/worksheets/sheet2.xml", "//*[local-name()='cols']"},
                                          std::pair{"xl/worksheets/sheet2.xml", "//*[local-name()='mergeCells']"}})
            QCOMPARE(xmlOf(zipEntry(out, part), xpath), xmlOf(zipEntry(templatePath, part), xpath));

        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed (Debian package libreoffice-calc-nogui); ./test installs it");
        const QString officeErrors = convertSheetsToCsv(soffice, out, dir);
        QFile csv(dir.filePath(QStringLiteral("csv/chronolauf-Ergebnis-2026-12-08-090507-Ergebnis.csv")));
        QVERIFY2(csv.open(QIODevice::ReadOnly), qPrintable(officeErrors));
        QList<QStringList> rows;
        for (const QString &line : QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n')))
            rows.append(line.split(QLatin1Char(';')));
        int sum = 0;
        for (const ResultsSnapshot::Row &row : results.rows)
            sum += row.cells[Col::Laps].toInt();
        QCOMPARE(sum, 12);
        QCOMPARE(rows.value(1).value(9), QString::number(sum));            // =SUM(D7:D30), uncached
        QCOMPARE(rows.value(1).value(10), QString::number(2 * sum));       // {=SUM(D7:D9*2)}
        QCOMPARE(rows.value(2).value(9).toUpper(), QStringLiteral("TRUE")); // =J2>2
        QCOMPARE(rows.value(3).value(9), QStringLiteral("#DIV/0!"));        // =1/0
        QCOMPARE(rows.value(4).value(9), QString::number(2 * sum));        // =J2*2, uncached
        QCOMPARE(rows.value(9).value(7), QString::number(10 * results.rows[1].cells[Col::Laps].toInt()));
        QCOMPARE(rows.value(10).value(7), QString::number(10 * results.rows[2].cells[Col::Laps].toInt()));
    }

    // Where the export of a corrected race goes: a new workbook, either template, or a
    // template with a chart sheet after its worksheets (written here part by part).
    static void placeTemplate(const QString &templateFile, const QString &dir)
    {
        if (templateFile == QLatin1String("chart"))
            QVERIFY(writeZip(QDir(dir).filePath(QStringLiteral("Ergebnis-Mustervorlage.xltx")), templateParts()));
        else if (!templateFile.isEmpty())
            QVERIFY(QFile::copy(QFINDTESTDATA(QStringLiteral("data/templates/") + templateFile), QDir(dir).filePath(templateFile)));
    }

    // A corrected race gets the sheet "Korrekturen" after all others, one row per correction
    // under the trail's titles, times and numbers as numbers; any other race's workbook has
    // exactly the sheets it had.
    void correctionsSheet_data()
    {
        QTest::addColumn<QString>("templateFile");
        QTest::addColumn<bool>("corrected");
        for (const char *file : {"", "Ergebnis-Mustervorlage.xlt", "Ergebnis-Mustervorlage.xltx", "chart"}) {
            const QString name = *file ? QString::fromLatin1(file) : QStringLiteral("new workbook");
            QTest::addRow("%s, corrected", qPrintable(name)) << QString::fromLatin1(file) << true;
            QTest::addRow("%s, as booked", qPrintable(name)) << QString::fromLatin1(file) << false;
        }
    }

    void correctionsSheet()
    {
        QFETCH(QString, templateFile);
        QFETCH(bool, corrected);
        QTemporaryDir dir;
        placeTemplate(templateFile, dir.path());
        CorrectedRace race;
        const ResultsSnapshot before = race.before();
        const ResultsSnapshot results = corrected ? race.after() : before;
        const auto exportTo = [&](const ResultsSnapshot &r, const QString &target) {
            SpreadsheetExport::Context c = context(dir.path());
            c.targetPath = dir.filePath(target);
            const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(r, c);
            QCOMPARE(exported.usedTemplate, !templateFile.isEmpty());
            QVERIFY2(exported.notice.isEmpty(), qPrintable(exported.notice));
            QVERIFY2(exported.ok(), qPrintable(exported.error));
        };
        exportTo(before, QStringLiteral("wie-gebucht.xlsx"));
        exportTo(results, QStringLiteral("ergebnis.xlsx"));
        const WorkbookReader::Result asBooked = WorkbookReader::read(dir.filePath(QStringLiteral("wie-gebucht.xlsx")));
        const WorkbookReader::Result read = WorkbookReader::read(dir.filePath(QStringLiteral("ergebnis.xlsx")));
        QVERIFY2(asBooked.workbook && read.workbook, qPrintable(read.error + asBooked.error));
        const std::vector<Worksheet> &sheets = read.workbook->sheets;
        QStringList names;
        for (const Worksheet &sheet : sheets)
            names << sheet.name;
        QStringList namesAsBooked;
        for (const Worksheet &sheet : asBooked.workbook->sheets)
            namesAsBooked << sheet.name;
        QVERIFY(!namesAsBooked.contains(QStringLiteral("Korrekturen")));
        QCOMPARE(names, corrected ? namesAsBooked + QStringList{QStringLiteral("Korrekturen")} : namesAsBooked);
        if (!corrected)
            return;

        const Worksheet &sheet = sheets.back();
        const QStringList &titles = CorrectionText::ColumnTitles();
        QCOMPARE(sheet.usedRows(), CorrectedRace::Count + 1);
        QCOMPARE(sheet.usedColumns(), int(titles.size()));
        for (int c = 0; c < int(titles.size()); ++c)
            QCOMPARE(text(sheet, 1, c + 1), titles[c]);
        for (int k = 0; k < CorrectedRace::Count; ++k) {
            const QStringList cells = CorrectionText::cells(results.corrections[std::size_t(k)], QLatin1Char(','));
            for (int c = 0; c < int(cells.size()); ++c)
                QCOMPARE(shown(sheet, k + 2, c + 1, cells[c]), cells[c]);
        }
        QCOMPARE(text(sheet, 3, 9), CorrectedRace::markupReason());
        QCOMPARE(text(sheet, 3, 5), QStringLiteral("2 → 3"));
    }

    // A template with a sheet "Korrekturen" of its own gets the corrections there, beside
    // what its author put on it, and no second sheet of that name.
    void templateWithCorrectionsSheet()
    {
        std::map<std::string, std::string> parts = templateParts();
        const auto insertBefore = [&](const char *part, const std::string &end, const std::string &text) {
            std::string &xml = parts[part];
            xml.insert(xml.find(end), text);
        };
        insertBefore("xl/workbook.xml", "</sheets>", "<sheet name=\"Korrekturen\" sheetId=\"4\" r:id=\"rId5\"/>");
        insertBefore("xl/_rels/workbook.xml.rels", "</Relationships>",
                     "<Relationship Id=\"rId5\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                     "Target=\"worksheets/sheet3.xml\"/>");
        insertBefore("[Content_Types].xml", "</Types>",
                     "<Override PartName=\"/xl/worksheets/sheet3.xml\" "
                     "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>");
        parts["xl/worksheets/sheet3.xml"] =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
            "<row r=\"1\"><c r=\"K1\" t=\"inlineStr\"><is><t>Geprüft:</t></is></c></row></sheetData></worksheet>";
        QTemporaryDir dir;
        QVERIFY(writeZip(dir.filePath(QStringLiteral("Ergebnis-Mustervorlage.xltx")), parts));
        CorrectedRace race;
        const ResultsSnapshot results = race.after();
        const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        QVERIFY2(exported.ok() && exported.usedTemplate, qPrintable(exported.error + exported.notice));
        const WorkbookReader::Result read = WorkbookReader::read(exported.savedPath);
        QVERIFY2(read.workbook, qPrintable(read.error));
        QStringList names;
        for (const Worksheet &sheet : read.workbook->sheets)
            names << sheet.name;
        QCOMPARE(names.count(QStringLiteral("Korrekturen")), 1);
        const Worksheet &sheet = read.workbook->sheets[std::size_t(names.indexOf(QStringLiteral("Korrekturen")))];
        QCOMPARE(text(sheet, 1, 11), QStringLiteral("Geprüft:"));
        QCOMPARE(text(sheet, 1, 1), QStringLiteral("Uhrzeit"));
        QCOMPARE(text(sheet, 3, 9), CorrectedRace::markupReason());
        QCOMPARE(sheet.usedRows(), CorrectedRace::Count + 1);
    }

    // What LibreOffice shows on the sheet "Korrekturen", from a new workbook and from a
    // template: every cell exactly as the corrections window's trail shows it.
    void correctionsInLibreOffice_data()
    {
        QTest::addColumn<QString>("templateFile");
        QTest::newRow("new workbook") << QString();
        QTest::newRow("xltx template") << QStringLiteral("Ergebnis-Mustervorlage.xltx");
    }

    void correctionsInLibreOffice()
    {
        QFETCH(QString, templateFile);
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed (Debian package libreoffice-calc-nogui); ./test installs it");
        QTemporaryDir dir;
        placeTemplate(templateFile, dir.path());
        CorrectedRace race;
        const ResultsSnapshot results = race.after();
        const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        QVERIFY2(exported.ok(), qPrintable(exported.error));
        const QString officeErrors = convertSheetsToCsv(soffice, exported.savedPath, dir);
        QFile csv(dir.filePath(QStringLiteral("csv/chronolauf-Ergebnis-2026-12-08-090507-Korrekturen.csv")));
        QVERIFY2(csv.open(QIODevice::ReadOnly), qPrintable(officeErrors));
        QList<QStringList> rows;
        for (const QString &line : QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QStringList cells = line.split(QLatin1Char(';'));
            for (QString &cell : cells) {
                if (cell.startsWith(QLatin1Char('"')))
                    cell = cell.mid(1, cell.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
            }
            rows.append(cells);
        }
        QCOMPARE(rows.size(), CorrectedRace::Count + 1);
        QCOMPARE(rows[0], CorrectionText::ColumnTitles());
        for (int k = 0; k < CorrectedRace::Count; ++k)
            QCOMPARE(rows[k + 1], CorrectionText::cells(results.corrections[std::size_t(k)], QLatin1Char(',')));
        QCOMPARE(rows[2][8], CorrectedRace::markupReason());
    }

    // A template that cannot be used gives way to a new workbook, and the status bar says why.
    void unusableTemplate_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("expectedNotice");
        QTest::newRow("not a package") << "bytes" << "Vorlage Ergebnis-Mustervorlage.xltx nicht lesbar (";
        QTest::newRow("cell formats of another kind") << "styles" << "Vorlage Ergebnis-Mustervorlage.xltx nicht verwendbar (";
    }

    void unusableTemplate()
    {
        QFETCH(QString, damage);
        QFETCH(QString, expectedNotice);
        QTemporaryDir dir;
        const QString templatePath = dir.filePath(QStringLiteral("Ergebnis-Mustervorlage.xltx"));
        if (damage == QLatin1String("bytes")) {
            QFile file(templatePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("PK\x03\x04 keine Vorlage");
        } else {
            std::map<std::string, std::string> parts = templateParts();
            parts["xl/styles.xml"] = "<?xml version=\"1.0\"?><formate/>";
            QVERIFY(writeZip(templatePath, parts));
        }
        const ResultsSnapshot results = race(3, 2);
        const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        QVERIFY2(exported.ok(), qPrintable(exported.error));
        QVERIFY(!exported.usedTemplate);
        QVERIFY2(exported.notice.startsWith(expectedNotice), qPrintable(exported.notice));
        const WorkbookReader::Result read = WorkbookReader::read(exported.savedPath);
        QVERIFY2(read.workbook, qPrintable(read.error));
        QCOMPARE(read.workbook->sheets.size(), std::size_t(2));
        QCOMPARE(read.workbook->sheets[0].name, QStringLiteral("Ergebnis"));
        compareStandings(read.workbook->sheets[0], results);
        compareLaps(read.workbook->sheets[1], results);
    }

    // Names are not clipped on either sheet of a new workbook: every column is as wide as its
    // longest text.
    void columnsFitted_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("nameRow");
        QTest::addColumn<int>("firstColumn");
        QTest::addColumn<int>("step");
        QTest::newRow("standings") << "xl/worksheets/sheet1.xml" << 7 << 3 << 0;
        QTest::newRow("laps") << "xl/worksheets/sheet2.xml" << 8 << 2 << 1;
    }

    void columnsFitted()
    {
        QFETCH(QString, part);
        QFETCH(int, nameRow);
        QFETCH(int, firstColumn);
        QFETCH(int, step);
        QTemporaryDir dir;
        const ResultsSnapshot results = race(6, 3);
        const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        QVERIFY2(exported.ok(), qPrintable(exported.error));
        pugi::xml_document sheet;
        const QByteArray xml = zipEntry(exported.savedPath, part.toUtf8().constData());
        QVERIFY(sheet.load_buffer(xml.constData(), std::size_t(xml.size())));
        QMap<int, double> widths;
        for (const pugi::xpath_node &col : sheet.select_nodes("//*[local-name()='col']")) {
            for (int c = col.node().attribute("min").as_int(); c <= col.node().attribute("max").as_int(); ++c)
                widths[c] = col.node().attribute("width").as_double();
        }
        for (int g = 0; g < int(results.rows.size()); ++g) {
            const int column = firstColumn + g * step;
            const QString name = results.rows[g].cells[Col::Name];
            QVERIFY2(widths.value(column) >= double(name.size()), qPrintable(QStringLiteral("%1 in row %2: %3").arg(name).arg(nameRow).arg(widths.value(column))));
        }
    }

    void exportNeverOverwrites()
    {
        QTemporaryDir dir;
        const ResultsSnapshot results = race(2, 1);
        const auto first = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        const auto second = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        QVERIFY(first.ok() && second.ok());
        QVERIFY(first.savedPath != second.savedPath);
        QVERIFY(second.savedPath.endsWith(QLatin1String("-090507-2.xlsx")));
        const auto unwritable = SpreadsheetExport::ExportSpreadsheet(results, context(dir.filePath(QStringLiteral("missing"))));
        QVERIFY(!unwritable.ok());
        QVERIFY(!unwritable.error.isEmpty());
    }

    void importStarters_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        for (const char *format : {"xls", "xlsx", "ods", "csv"}) {
            const QString f = QString::fromLatin1(format);
            QTest::addRow("12 (%s)", format) << "starters-12." + f << 12 << 12 << "12" << QString();
            QTest::addRow("25 give 20 (%s)", format) << "starters-25." + f << 20 << 20 << "120" << QString();
            QTest::addRow("gap ends (%s)", format) << "starters-gap." + f << 5 << 5 << "11" << QString();
            QTest::addRow("name without number ends (%s)", format) << "starters-name-without-number." + f << 3 << 3 << QString() << QString();
            QTest::addRow("cell types (%s)", format) << "starters-cell-types." + f << 3 << 1 << "7,5" << QString();
            QTest::addRow("text number (%s)", format) << "starters-cell-types." + f << 3 << 2 << "A12" << QString();
            QTest::addRow("extra columns (%s)", format) << "starters-extra-columns." + f << 2 << 1 << QString() << QString();
            QTest::addRow("empty A1 (%s)", format) << "starters-empty-a1." + f << 0 << 0 << QString() << QString();
        }
    }

    void importStarters()
    {
        QFETCH(QString, file);
        QFETCH(int, count);
        QFETCH(int, row);
        QFETCH(QString, number);
        const QString path = QFINDTESTDATA(QStringLiteral("data/starters/") + file);
        QVERIFY(!path.isEmpty());
        const StarterListImport::Result result = StarterListImport::ImportStarterList(path, QLocale());
        QCOMPARE(int(result.rows.size()), count);
        if (count == 0) {
            QCOMPARE(result.error, QStringLiteral("Keine Starter gefunden: ") + QDir::toNativeSeparators(path));
            return;
        }
        for (const QStringList &texts : result.rows)
            QCOMPARE(texts.size(), 10);
        if (!number.isEmpty())
            QCOMPARE(result.rows[row - 1][0], number);
    }

    // Names arrive exactly as written, in every format.
    void importedNames_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *format : {"xls", "xlsx", "ods", "csv"})
            QTest::addRow("%s", format) << QStringLiteral("starters-12.") + QString::fromLatin1(format);
    }

    void importedNames()
    {
        QFETCH(QString, file);
        const auto reference = StarterListImport::ImportStarterList(QFINDTESTDATA("data/starters/starters-12.xlsx"), QLocale());
        const auto result = StarterListImport::ImportStarterList(QFINDTESTDATA(QStringLiteral("data/starters/") + file), QLocale());
        QCOMPARE(result.rows, reference.rows);
        QVERIFY(result.rows[0][1].contains(QRegularExpression(QStringLiteral("[^\\x00-\\x7F]"))) || result.rows.size() == 12);
    }

    void importBadFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("empty") << QByteArray() << ".xls";
        static const char noise[] = "\x01\x02\xff\xfe garbage \x00\x13";
        QTest::newRow("random bytes") << QByteArray(noise, sizeof noise - 1) << ".xlsx";
        QTest::newRow("text renamed xls") << QByteArray("Nur ein Brief, keine Tabelle.\n") << ".xls";
        QTest::newRow("truncated xlsx") << QByteArray("PK\x03\x04\x14\x00\x00\x00", 8) << ".xlsx";
    }

    void importBadFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, suffix);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("liste") + suffix);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        const auto result = StarterListImport::ImportStarterList(path, QLocale());
        QVERIFY(!result.ok());
        QVERIFY2(result.error.contains(QDir::toNativeSeparators(path)), qPrintable(result.error));
    }
};

QTEST_GUILESS_MAIN(TestSpreadsheet)
#include "testspreadsheet.moc"
