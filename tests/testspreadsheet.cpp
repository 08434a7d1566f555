#include "RaceDriver.h"
#include "core/ResultsSnapshot.h"
#include "core/TimeText.h"
#include "output/HtmlProtocol.h"
#include "output/SpreadsheetExport.h"
#include "output/StarterListImport.h"
#include "output/WorkbookReader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using Kind = RaceInput::Kind;
using Col = StandingsGrid::Column;

// The results workbook read back cell by cell, and the starter lists a real spreadsheet
// application saved, in every format.
class TestSpreadsheet : public QObject
{
    Q_OBJECT

    // A stopped race of n participants: participant 1 runs `laps` laps, the others fewer,
    // the last one lapped and marked out; numbers and names as a starter list would give.
    static ResultsSnapshot race(int n, int laps)
    {
        RaceDriver d;
        QList<QStringList> starters;
        for (int p = 1; p <= n; ++p)
            starters << QStringList{QString::number(100 + p), QStringLiteral("Team Ä%1 <&>").arg(p)};
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
            const int column = HtmlProtocol::ResultColumns[k];
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
        QTest::newRow("20 x 160, new workbook") << 20 << 160 << QString() << 1;
        QTest::newRow("no laps yet") << 4 << 0 << QString() << 1;
        QTest::newRow("xlt template") << 6 << 5 << "Ergebnis-Mustervorlage.xlt" << 2;
        QTest::newRow("xltx template") << 6 << 5 << "Ergebnis-Mustervorlage.xltx" << 2;
        QTest::newRow("template of one sheet") << 6 << 5 << "one-sheet.xlt" << 1;
    }

    void exportRace()
    {
        QFETCH(int, participants);
        QFETCH(int, laps);
        QFETCH(QString, templateFile);
        QFETCH(int, standingsSheet);
        QTemporaryDir dir;
        if (!templateFile.isEmpty()) {
            const QString name = templateFile.startsWith(QLatin1String("one-sheet")) ? QStringLiteral("Ergebnis-Mustervorlage.xlt") : templateFile;
            QVERIFY(QFile::copy(QFINDTESTDATA(QStringLiteral("data/templates/") + templateFile), dir.filePath(name)));
        }
        const ResultsSnapshot results = race(participants, laps);
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
        // Nothing beyond the blocks in a new workbook; the template's own texts survive.
        if (standingsSheet == 1) {
            QCOMPARE(standings.usedRows(), participants + 6);
            QCOMPARE(standings.usedColumns(), 8);
            QCOMPARE(lapSheet.usedColumns(), participants + 1);
        } else {
            QCOMPARE(text(standings, 2, 10), QStringLiteral("Erstellt mit Vorlage"));
        }
    }

    // What the operator's own spreadsheet program shows: both sheets through LibreOffice, every
    // time, number and text exactly as the grid shows it.
    void exportOpensInLibreOffice_data()
    {
        QTest::addColumn<QString>("templateFile");
        QTest::newRow("new workbook") << QString();
        QTest::newRow("xltx template") << QStringLiteral("Ergebnis-Mustervorlage.xltx");
    }

    void exportOpensInLibreOffice()
    {
        QFETCH(QString, templateFile);
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed (Debian package libreoffice-calc-nogui); ./test installs it");
        QTemporaryDir dir;
        if (!templateFile.isEmpty())
            QVERIFY(QFile::copy(QFINDTESTDATA(QStringLiteral("data/templates/") + templateFile), dir.filePath(templateFile)));
        // Past an hour, so that both time forms show.
        const ResultsSnapshot results = race(20, 70);
        const SpreadsheetExport::Result exported = SpreadsheetExport::ExportSpreadsheet(results, context(dir.path()));
        QVERIFY2(exported.ok(), qPrintable(exported.error));
        QCOMPARE(exported.usedTemplate, !templateFile.isEmpty());
        // LibreOffice in a locale of its own: the times still show the program's ",".
        QProcess office;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        office.setProcessEnvironment(environment);
        // Token 9: cells as shown; token 12 = -1: every sheet into a file of its own, "<name>-<sheet>.csv".
        office.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                               QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                               QStringLiteral("csv:Text - txt - csv (StarCalc):59,34,76,1,,0,false,true,true,false,false,-1"),
                               QStringLiteral("--outdir"), dir.filePath(QStringLiteral("csv")), exported.savedPath});
        QVERIFY(office.waitForFinished(180000));
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
        QVERIFY2(!standings.isEmpty() && !laps.isEmpty(), qPrintable(QString::fromUtf8(office.readAllStandardError())));
        QCOMPARE(standings.value(1).value(2), results.title);
        bool pastAnHour = false;
        for (int g = 0; g < 20; ++g) {
            for (int k = 0; k < 8; ++k)
                QCOMPARE(standings.value(g + 6).value(k), results.rows[g].cells[HtmlProtocol::ResultColumns[k]]);
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
