#include "ZipEntry.h"
#include "workbook/Workbook.h"
#include "workbook/WorkbookWriter.h"
#include "workbook/XlsxFormula.h"
#include "workbook/XlsxStyles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/document.hpp>
#include <orcus/spreadsheet/factory.hpp>
#include <pugixml.hpp>
#include <zip.h>

#include <csignal>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

Q_DECLARE_METATYPE(Workbook)

namespace {

// A cell as orcus reads it back: its kind ("string", "numeric", "formula") and its text.
struct ReadCell
{
    QString kind;
    QString value;
};

// A written file as read back by orcus, independently of this program's own code.
struct ReadBook
{
    QString error;
    QStringList sheets;
    // Keyed "sheet|row|column", counted from 1.
    QMap<QString, ReadCell> cells;
};

QString key(const QString &sheet, int row, int column)
{
    return QStringLiteral("%1|%2|%3").arg(sheet).arg(row).arg(column);
}

ReadBook readWithOrcus(const QString &path)
{
    ReadBook book;
    try {
        orcus::spreadsheet::document document({1048576, 16384});
        orcus::spreadsheet::import_factory factory(document);
        orcus::orcus_xlsx reader(&factory);
        reader.read_file(QFile::encodeName(path).toStdString());
        for (std::size_t i = 0; i < document.get_sheet_count(); ++i) {
            const auto name = document.get_sheet_name(orcus::spreadsheet::sheet_t(i));
            book.sheets.append(QString::fromUtf8(name.data(), qsizetype(name.size())));
        }
        // One line a cell: "<sheet>/<row>/<column>:<kind>:<value>", rows and columns from 0.
        std::ostringstream out;
        document.dump_check(out);
        const QStringList lines = QString::fromStdString(out.str()).split(u'\n', Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            const qsizetype colon = line.indexOf(u':');
            const QStringList place = line.left(colon).split(u'/');
            const QString rest = line.mid(colon + 1);
            ReadCell cell{rest.section(u':', 0, 0), rest.section(u':', 1)};
            if (cell.kind == QLatin1String("string"))
                cell.value = cell.value.mid(1, cell.value.size() - 2);
            const QString sheet = place.mid(0, place.size() - 2).join(u'/');
            book.cells.insert(key(sheet, place.at(place.size() - 2).toInt() + 1, place.last().toInt() + 1), cell);
        }
    } catch (const std::exception &e) {
        book.error = QString::fromUtf8(e.what());
    }
    return book;
}


// The text of the first element with that name anywhere in an XML part ("" if none).
QString xmlText(const QByteArray &xml, const char *xpath)
{
    pugi::xml_document document;
    document.load_buffer(xml.constData(), std::size_t(xml.size()));
    return QString::fromUtf8(document.select_node(xpath).node().text().get());
}

// A cell of the Workbook in the form orcus reports it.
bool sameValue(const QVariant &expected, const ReadCell &read)
{
    if (expected.typeId() == QMetaType::QString)
        return read.kind == QLatin1String("string") && read.value == expected.toString();
    // orcus prints numbers with six significant digits; a formula shows "<formula>:<result>".
    const QString number = read.kind == QLatin1String("formula") ? read.value.section(u':', -1) : read.value;
    // A template's formula is written without its old result, to be calculated on opening.
    if (read.kind == QLatin1String("formula") && number == QLatin1String("nan"))
        return true;
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && qAbs(value - expected.toDouble()) <= 1e-6 * qMax(1.0, qAbs(value))
        && (read.kind == QLatin1String("numeric") || read.kind == QLatin1String("formula"));
}

// Every cell of book is read back from path (and no other cell of its sheets).
void compareCells(const Workbook &book, const QStringList &sheetNames, const ReadBook &read)
{
    for (std::size_t s = 0; s < book.sheets.size(); ++s) {
        const Worksheet &sheet = book.sheets[s];
        const QString name = sheetNames.at(int(s));
        int filled = 0;
        for (int r = 1; r <= sheet.usedRows(); ++r) {
            for (int c = 1; c <= sheet.usedColumns(); ++c) {
                const QVariant expected = sheet.cell(r, c);
                const auto found = read.cells.constFind(key(name, r, c));
                if (!expected.isValid()) {
                    QVERIFY2(found == read.cells.constEnd(), qPrintable(key(name, r, c) + QStringLiteral(" should be empty")));
                    continue;
                }
                ++filled;
                QVERIFY2(found != read.cells.constEnd(), qPrintable(key(name, r, c) + QStringLiteral(" is missing")));
                QVERIFY2(sameValue(expected, *found),
                         qPrintable(key(name, r, c) + QStringLiteral(": ") + found->kind + u' ' + found->value + QStringLiteral(" instead of ")
                                    + expected.toString()));
            }
        }
        int readCount = 0;
        for (auto it = read.cells.constBegin(); it != read.cells.constEnd(); ++it)
            readCount += it.key().startsWith(name + u'|') ? 1 : 0;
        QCOMPARE(readCount, filled);
    }
}

// A results-like workbook: umlauts, Polish letters, numbers and holes in the middle.
Workbook raceBook()
{
    Workbook book;
    book.author = QStringLiteral("Zeitnahme Łódź");
    book.subject = QStringLiteral("24-Stunden-Staffel");
    book.comments = QStringLiteral("Erstellt für die Siegerehrung – Grüße");
    book.sheets.resize(2);
    Worksheet &laps = book.sheets[0];
    laps.name = QStringLiteral("Runden");
    laps.setCell(1, 1, QStringLiteral("Nr."));
    laps.setCell(1, 2, QStringLiteral("Fahrer"));
    laps.setCell(1, 4, QStringLiteral("Beste Runde"));
    laps.setCell(2, 1, 1.0);
    laps.setCell(2, 2, QStringLiteral("Jürgen Größ"));
    laps.setCell(2, 4, 83.25);
    laps.setCell(4, 1, 2.0);
    laps.setCell(4, 2, QStringLiteral("Żaneta Świątek-Łęcka"));
    laps.setCell(4, 3, -0.5);
    laps.setCell(4, 4, 1234.5);
    Worksheet &result = book.sheets[1];
    result.name = QStringLiteral("Ergebnis");
    result.setCell(1, 1, QStringLiteral("Ärger über Öl & <Wasser>"));
    result.setCell(3, 3, 42.0);
    result.setCell(3, 5, QStringLiteral("  mit Leerzeichen "));
    return book;
}

QStringList sheetNamesOf(const Workbook &book)
{
    QStringList names;
    for (const Worksheet &sheet : book.sheets)
        names.append(sheet.name);
    return names;
}

// The files in a folder, hidden ones (a left temporary file) included.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Limits the size of files this process writes, as a full disk would, while it lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &mOld);
        mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = mOld;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &mOld);
        std::signal(SIGXFSZ, mOldHandler);
    }

private:
    rlimit mOld{};
    void (*mOldHandler)(int) = nullptr;
};

} // namespace

class TestWorkbookWriter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void newWorkbookReadsBack_data();
    void newWorkbookReadsBack();
    void fittedColumnWidths_data();
    void fittedColumnWidths();
    void firstSheetInLibreOffice_data();
    void firstSheetInLibreOffice();
    void templateKeepsItsFormats();
    void templateSheetsBeyondItsOwn();
    void unwritableTarget_data();
    void unwritableTarget();
    void existingTargetReplacedOnlyOnSuccess_data();
    void existingTargetReplacedOnlyOnSuccess();
    void sharedFormulaShifted_data();
    void sharedFormulaShifted();
    void durationFormatUnlessTheCellHasOne_data();
    void durationFormatUnlessTheCellHasOne();
    void newWorkbookDurations();

private:
    Workbook templateBook(const QString &templatePath);
    std::unique_ptr<QTemporaryDir> mDir;
    QString mTemplate;
};

void TestWorkbookWriter::init()
{
    mDir = std::make_unique<QTemporaryDir>();
    QVERIFY(mDir->isValid());
    const QString source = QFINDTESTDATA("data/templates/Ergebnis-Mustervorlage.xltx");
    QVERIFY(!source.isEmpty());
    mTemplate = mDir->filePath(QStringLiteral("Ergebnis-Mustervorlage.xltx"));
    QVERIFY(QFile::copy(source, mTemplate));
    QFile::setPermissions(mTemplate, QFile::ReadOwner | QFile::WriteOwner);
}

// The Workbook a reader makes of the template: its cells, as values.
Workbook TestWorkbookWriter::templateBook(const QString &templatePath)
{
    Workbook book;
    const ReadBook read = readWithOrcus(templatePath);
    book.sourcePath = templatePath;
    for (const QString &name : read.sheets) {
        book.sheets.emplace_back();
        book.sheets.back().name = name;
    }
    for (auto it = read.cells.constBegin(); it != read.cells.constEnd(); ++it) {
        const QStringList place = it.key().split(u'|');
        const int sheet = int(read.sheets.indexOf(place.at(0)));
        QVariant value = it->kind == QLatin1String("string") ? QVariant(it->value)
                                                            : QVariant(it->value.section(u':', -1).toDouble());
        book.sheets[std::size_t(sheet)].setCell(place.at(1).toInt(), place.at(2).toInt(), value);
    }
    return book;
}

void TestWorkbookWriter::newWorkbookReadsBack_data()
{
    QTest::addColumn<Workbook>("book");
    QTest::addColumn<QStringList>("expectedNames");

    const Workbook race = raceBook();
    QTest::newRow("two sheets, umlauts, Polish letters, numbers, holes")
        << race << QStringList{QStringLiteral("Runden"), QStringLiteral("Ergebnis")};

    Workbook names = raceBook();
    names.sheets.resize(4);
    names.sheets[0].name = QStringLiteral("Lauf [1/2]: Wer? *Alle*");
    names.sheets[1].name = QStringLiteral("Ergebnisliste der 24-Stunden-Staffel 2026");
    names.sheets[2].name = QStringLiteral("ERGEBNISLISTE DER 24-STUNDEN-STAFFEL 2026");
    names.sheets[3].name = QString();
    names.sheets[3].setCell(2, 2, QStringLiteral("letzte"));
    QTest::newRow("names made valid and unique") << names
        << QStringList{QStringLiteral("Lauf _1_2__ Wer_ _Alle_"), QStringLiteral("Ergebnisliste der 24-Stunden-St"),
                       QStringLiteral("ERGEBNISLISTE DER 24-STUNDE (2)"), QStringLiteral("Tabelle4")};

    Workbook empty;
    empty.sheets.resize(1);
    empty.sheets[0].name = QStringLiteral("Leer");
    QTest::newRow("an empty sheet") << empty << QStringList{QStringLiteral("Leer")};
}

void TestWorkbookWriter::newWorkbookReadsBack()
{
    QFETCH(Workbook, book);
    QFETCH(QStringList, expectedNames);
    const QString path = mDir->filePath(QStringLiteral("Ergebnis.xlsx"));

    const WorkbookWriter::Result result = WorkbookWriter::write(book, path);
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(result.error.isEmpty());

    const ReadBook read = readWithOrcus(path);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.sheets, expectedNames);
    compareCells(book, expectedNames, read);

    const QByteArray core = zipEntry(path, "docProps/core.xml");
    QCOMPARE(xmlText(core, "//dc:creator"), book.author);
    QCOMPARE(xmlText(core, "//dc:subject"), book.subject);
    QCOMPARE(xmlText(core, "//dc:description"), book.comments);
    QCOMPARE(filesIn(mDir->path()), (QStringList{QStringLiteral("Ergebnis-Mustervorlage.xltx"), QStringLiteral("Ergebnis.xlsx")}));
}

void TestWorkbookWriter::fittedColumnWidths_data()
{
    QTest::addColumn<bool>("fit");
    QTest::addColumn<QString>("longText");
    QTest::addColumn<double>("expectedWidth");

    QTest::newRow("fitted to 20 characters") << true << QStringLiteral("Żaneta Świątek-Łęcka") << 22.0;
    QTest::newRow("longest line of several") << true << QStringLiteral("kurz\nzwölf Zeichen\nx") << 15.0;
    QTest::newRow("capped") << true << QString(200, u'W') << 80.0;
    QTest::newRow("not asked for: default width") << false << QStringLiteral("Żaneta Świątek-Łęcka") << 0.0;
}

void TestWorkbookWriter::fittedColumnWidths()
{
    QFETCH(bool, fit);
    QFETCH(QString, longText);
    QFETCH(double, expectedWidth);

    Workbook book;
    book.sheets.resize(2);
    book.sheets[1].name = QStringLiteral("Liste");
    book.sheets[1].setCell(1, 2, QStringLiteral("Nr"));
    book.sheets[1].setCell(2, 2, longText);
    book.sheets[1].setCell(3, 2, 12345.0);
    if (fit)
        book.autofitSheets = {2};
    const QString path = mDir->filePath(QStringLiteral("Breiten.xlsx"));
    const WorkbookWriter::Result result = WorkbookWriter::write(book, path);
    QVERIFY2(result.ok, qPrintable(result.error));

    pugi::xml_document sheet;
    const QByteArray xml = zipEntry(path, "xl/worksheets/sheet2.xml");
    QVERIFY(sheet.load_buffer(xml.constData(), std::size_t(xml.size())));
    const pugi::xml_node column = sheet.select_node("//*[local-name()='col']").node();
    if (!fit) {
        QVERIFY(!column);
        return;
    }
    QCOMPARE(column.attribute("min").as_int(), 2);
    QCOMPARE(column.attribute("max").as_int(), 2);
    // The file holds the width plus the application's cell padding (under one character).
    const double width = column.attribute("width").as_double();
    QVERIFY2(width >= expectedWidth && width < expectedWidth + 1, qPrintable(QString::number(width)));
}

void TestWorkbookWriter::firstSheetInLibreOffice_data()
{
    QTest::addColumn<bool>("fromTemplate");
    QTest::newRow("new workbook") << false;
    QTest::newRow("from the template") << true;
}

void TestWorkbookWriter::firstSheetInLibreOffice()
{
    QFETCH(bool, fromTemplate);
    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty())
        QSKIP("soffice (LibreOffice) is not installed: the cross-check with it is skipped");

    Workbook book = raceBook();
    if (fromTemplate) {
        book = templateBook(mTemplate);
        book.sheets[0].setCell(1, 2, QStringLiteral("Nacht-Rennen Kraków"));
        book.sheets[0].setCell(2, 2, 17.0);
        book.sheets[0].setCell(3, 3, QStringLiteral("Gdańsk, \"Süd\""));
    }
    const QString path = mDir->filePath(QStringLiteral("Protokoll.xlsx"));
    const WorkbookWriter::Result result = WorkbookWriter::write(book, path);
    QVERIFY2(result.ok, qPrintable(result.error));

    const QString outDir = mDir->filePath(QStringLiteral("csv"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(office, {QStringLiteral("-env:UserInstallation=file://") + mDir->filePath(QStringLiteral("profile")),
                           QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                           QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"),
                           outDir, path});
    QVERIFY(process.waitForFinished(120000));
    QFile csv(outDir + QStringLiteral("/Protokoll.csv"));
    QVERIFY2(csv.open(QIODevice::ReadOnly), qPrintable(QString::fromLocal8Bit(process.readAllStandardError())));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(u'\n');

    // The expected CSV of the first sheet, with LibreOffice's quoting of texts holding , or ".
    const Worksheet &sheet = book.sheets[0];
    for (int r = 1; r <= sheet.usedRows(); ++r) {
        QStringList fields;
        for (int c = 1; c <= sheet.usedColumns(); ++c) {
            const QVariant value = sheet.cell(r, c);
            QString text = value.typeId() == QMetaType::Double ? QString::number(value.toDouble()) : value.toString();
            if (text.contains(u',') || text.contains(u'"'))
                text = u'"' + text.replace(QLatin1String("\""), QLatin1String("\"\"")) + u'"';
            fields.append(text);
        }
        QVERIFY(r - 1 < lines.size());
        QCOMPARE(lines.at(r - 1).trimmed(), fields.join(u','));
    }
}

void TestWorkbookWriter::templateKeepsItsFormats()
{
    const QByteArray templateBytes = [this] {
        QFile file(mTemplate);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    Workbook book = templateBook(mTemplate);
    QCOMPARE(book.sheets.size(), std::size_t(2));
    QCOMPARE(book.sheets[1].cell(2, 10).toString(), QStringLiteral("Erstellt mit Vorlage"));
    book.author = QStringLiteral("Zeitnahme Łódź");
    book.subject = QStringLiteral("Ergebnis");
    book.comments = QStringLiteral("Vorlage ausgefüllt");

    // The results block in rows 6..10 of "Ergebnis", the race data beside the labels of "Runden".
    const QStringList header{"Platz", "Nr.", "Fahrer", "Rd.", "Ges. Zeit", "Zum 1.", "Vorderer", "Top Runde"};
    for (int c = 0; c < header.size(); ++c)
        book.sheets[1].setCell(6, c + 1, header.at(c));
    for (int r = 7; r <= 10; ++r) {
        book.sheets[1].setCell(r, 1, double(r - 6));
        book.sheets[1].setCell(r, 2, double(100 + r));
        book.sheets[1].setCell(r, 3, QStringLiteral("Fahrerin Ł%1 – Größe").arg(r));
        book.sheets[1].setCell(r, 8, 61.5 + r);
    }
    book.sheets[0].setCell(1, 2, QStringLiteral("Nacht-Rennen"));
    book.sheets[0].setCell(2, 2, 125.0);
    book.sheets[0].setCell(3, 1, QVariant()); // "Session:" in the template: emptied, formatted still

    const QString path = mDir->filePath(QStringLiteral("Ergebnis.xlsx"));
    const WorkbookWriter::Result result = WorkbookWriter::write(book, path);
    QVERIFY2(result.ok, qPrintable(result.error));

    // Opens, with the template's texts and formula and every value written.
    const ReadBook read = readWithOrcus(path);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.sheets, (QStringList{QStringLiteral("Runden"), QStringLiteral("Ergebnis")}));
    QCOMPARE(read.cells.value(key(QStringLiteral("Ergebnis"), 2, 10)).value, QStringLiteral("Erstellt mit Vorlage"));
    QCOMPARE(read.cells.value(key(QStringLiteral("Ergebnis"), 3, 10)).kind, QStringLiteral("formula"));
    compareCells(book, sheetNamesOf(book), read);

    // The cells keep the template's styles, the emptied one too.
    const QByteArray original = zipEntry(mTemplate, "xl/worksheets/sheet2.xml");
    const QByteArray written2 = zipEntry(path, "xl/worksheets/sheet2.xml");
    const QByteArray written1 = zipEntry(path, "xl/worksheets/sheet1.xml");
    const char *a6 = "//*[local-name()='c'][@r='A6']";
    pugi::xml_document before;
    pugi::xml_document after;
    pugi::xml_document first;
    QVERIFY(before.load_buffer(original.constData(), std::size_t(original.size())));
    QVERIFY(after.load_buffer(written2.constData(), std::size_t(written2.size())));
    QVERIFY(first.load_buffer(written1.constData(), std::size_t(written1.size())));
    QCOMPARE(QString::fromUtf8(before.select_node(a6).node().attribute("s").value()), QStringLiteral("4"));
    QCOMPARE(QString::fromUtf8(after.select_node(a6).node().attribute("s").value()), QStringLiteral("4"));
    QCOMPARE(QString::fromUtf8(after.select_node(a6).node().attribute("t").value()), QStringLiteral("s"));
    const pugi::xml_node a3 = first.select_node("//*[local-name()='c'][@r='A3']").node();
    QCOMPARE(QString::fromUtf8(a3.attribute("s").value()), QStringLiteral("1"));
    QVERIFY(!a3.first_child());
    QVERIFY(!a3.attribute("t"));
    // Rows ascending, cells ascending within each row.
    int lastRow = 0;
    for (const pugi::xpath_node &row : after.select_nodes("//*[local-name()='row']")) {
        QVERIFY(row.node().attribute("r").as_int() > lastRow);
        lastRow = row.node().attribute("r").as_int();
        QString lastCell;
        for (pugi::xml_node cell : row.node().children()) {
            const QString ref = QString::fromUtf8(cell.attribute("r").value());
            QVERIFY2(lastCell.isEmpty() || ref.size() > lastCell.size() || (ref.size() == lastCell.size() && ref > lastCell),
                     qPrintable(lastCell + u' ' + ref));
            lastCell = ref;
        }
    }
    QCOMPARE(lastRow, 10);

    // An ordinary workbook now, with the workbook's properties; the template is untouched.
    const QByteArray types = zipEntry(path, "[Content_Types].xml");
    pugi::xml_document typesDocument;
    QVERIFY(typesDocument.load_buffer(types.constData(), std::size_t(types.size())));
    QCOMPARE(QString::fromUtf8(typesDocument.select_node("//*[@PartName='/xl/workbook.xml']").node()
                                   .attribute("ContentType").value()),
             QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"));
    const QByteArray core = zipEntry(path, "docProps/core.xml");
    QCOMPARE(xmlText(core, "//dc:creator"), book.author);
    QCOMPARE(xmlText(core, "//dc:subject"), book.subject);
    QCOMPARE(xmlText(core, "//dc:description"), book.comments);
    QFile templateFile(mTemplate);
    QVERIFY(templateFile.open(QIODevice::ReadOnly));
    QCOMPARE(templateFile.readAll(), templateBytes);
}

void TestWorkbookWriter::templateSheetsBeyondItsOwn()
{
    Workbook book = templateBook(mTemplate);
    book.sheets[1].name = QStringLiteral("Ergebnis: Lauf 1");
    book.sheets.emplace_back();
    book.sheets[2].name = QStringLiteral("Runden");
    book.sheets[2].setCell(3, 2, QStringLiteral("zusätzlich"));
    book.sheets[2].setCell(1, 1, 9.75);

    const QString path = mDir->filePath(QStringLiteral("Drei.xlsx"));
    const WorkbookWriter::Result result = WorkbookWriter::write(book, path);
    QVERIFY2(result.ok, qPrintable(result.error));
    const ReadBook read = readWithOrcus(path);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    const QStringList names{QStringLiteral("Runden"), QStringLiteral("Ergebnis_ Lauf 1"), QStringLiteral("Runden (2)")};
    QCOMPARE(read.sheets, names);
    compareCells(book, names, read);
}

void TestWorkbookWriter::unwritableTarget_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::addColumn<bool>("fromTemplate");

    QTest::newRow("folder missing") << QStringLiteral("fehlt/Ergebnis.xlsx") << false << false;
    QTest::newRow("folder missing, template") << QStringLiteral("fehlt/Ergebnis.xlsx") << false << true;
    QTest::newRow("folder is a file") << QStringLiteral("Ergebnis-Mustervorlage.xltx/Ergebnis.xlsx") << false << false;
    QTest::newRow("target is a folder") << QStringLiteral("ordner.xlsx") << false << false;
    QTest::newRow("target is a folder, template") << QStringLiteral("ordner.xlsx") << false << true;
    QTest::newRow("read-only folder") << QStringLiteral("nur-lesen/Ergebnis.xlsx") << true << false;
}

void TestWorkbookWriter::unwritableTarget()
{
    QFETCH(QString, relativePath);
    QFETCH(bool, readOnlyFolder);
    QFETCH(bool, fromTemplate);
    if (readOnlyFolder && ::geteuid() == 0)
        QSKIP("running as root: a read-only folder is writable all the same");

    QVERIFY(QDir(mDir->path()).mkpath(QStringLiteral("ordner.xlsx")));
    QVERIFY(QDir(mDir->path()).mkpath(QStringLiteral("nur-lesen")));
    const QString readOnly = mDir->filePath(QStringLiteral("nur-lesen"));
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner);
    Workbook book = raceBook();
    if (fromTemplate)
        book.sourcePath = mTemplate;
    const QStringList filesBefore = filesIn(mDir->path());
    const QString path = mDir->filePath(relativePath);

    const WorkbookWriter::Result result = WorkbookWriter::write(book, path);
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QString expectedStart = QStringLiteral("Die Datei kann nicht geschrieben werden: ") + path + QLatin1String(" (");
    QVERIFY(!result.ok);
    QVERIFY2(result.error.startsWith(expectedStart), qPrintable(result.error));
    QVERIFY(result.error.endsWith(QLatin1Char(')')));
    QVERIFY(!QFileInfo(path).isFile());
    QCOMPARE(filesIn(mDir->path()), filesBefore);
    QCOMPARE(filesIn(mDir->filePath(QStringLiteral("ordner.xlsx"))), QStringList());
    QCOMPARE(filesIn(readOnly), QStringList());
}

void TestWorkbookWriter::existingTargetReplacedOnlyOnSuccess_data()
{
    QTest::addColumn<bool>("fromTemplate");
    QTest::addColumn<bool>("diskFull");

    QTest::newRow("new workbook, written") << false << false;
    QTest::newRow("template, written") << true << false;
    QTest::newRow("new workbook, disk full") << false << true;
    QTest::newRow("template, disk full") << true << true;
}

void TestWorkbookWriter::existingTargetReplacedOnlyOnSuccess()
{
    QFETCH(bool, fromTemplate);
    QFETCH(bool, diskFull);

    const QString path = mDir->filePath(QStringLiteral("Ergebnis.xlsx"));
    const QByteArray older("an older results file");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(older), older.size());
    }
    Workbook book = fromTemplate ? templateBook(mTemplate) : raceBook();
    // Enough distinct text that the package is larger than the space left on the "disk".
    for (int r = 20; r < 400; ++r)
        book.sheets[1].setCell(r, 2, QStringLiteral("Runde %1: %2").arg(r).arg(QString::number(r * 7919.0 / 13, 'f', 9)));

    WorkbookWriter::Result result;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (diskFull)
            limit = std::make_unique<FileSizeLimit>(4096);
        result = WorkbookWriter::write(book, path);
    }
    QCOMPARE(filesIn(mDir->path()), (QStringList{QStringLiteral("Ergebnis-Mustervorlage.xltx"), QStringLiteral("Ergebnis.xlsx")}));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    if (diskFull) {
        QVERIFY(!result.ok);
        QVERIFY2(result.error.startsWith(QStringLiteral("Die Datei kann nicht geschrieben werden: ") + path),
                 qPrintable(result.error));
        QCOMPARE(file.readAll(), older);
        return;
    }
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(file.readAll().startsWith("PK"));
    const ReadBook read = readWithOrcus(path);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    compareCells(book, sheetNamesOf(book), read);
}

void TestWorkbookWriter::sharedFormulaShifted_data()
{
    QTest::addColumn<QString>("formula");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("expected");

    QTest::newRow("relative cell") << "D7*10" << 2 << 0 << "D9*10";
    QTest::newRow("absolute parts stay") << "$D7+D$7+$D$7" << 1 << 1 << "$D8+E$7+$D$7";
    QTest::newRow("range in a function") << "SUM(D7:D30)" << 0 << 2 << "SUM(F7:F30)";
    QTest::newRow("function name like a cell") << "LOG10(A1)+ATAN2(B1,1)" << 1 << 0 << "LOG10(A2)+ATAN2(B2,1)";
    QTest::newRow("strings stay") << "IF(A1=\"B2\",\"C3\"\"D4\",A1)" << 1 << 0 << "IF(A2=\"B2\",\"C3\"\"D4\",A2)";
    QTest::newRow("quoted and plain sheet names") << "'Runden 2'!B2+Runden!B2" << 3 << 0 << "'Runden 2'!B5+Runden!B5";
    QTest::newRow("whole columns and rows") << "SUM(A:B)+SUM(3:4)" << 1 << 1 << "SUM(B:C)+SUM(4:5)";
    QTest::newRow("off the sheet") << "A1-B2" << 0 << -1 << "#REF!-A2";
    QTest::newRow("numbers and names stay") << "1.5E+3*Rate+TRUE" << 4 << 4 << "1.5E+3*Rate+TRUE";
    QTest::newRow("table reference stays") << "SUM(Tabelle1[Rd.])+A1" << 1 << 0 << "SUM(Tabelle1[Rd.])+A2";
}

void TestWorkbookWriter::sharedFormulaShifted()
{
    QFETCH(QString, formula);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, expected);
    QCOMPARE(XlsxFormula::shifted(formula, rows, columns), expected);
}

void TestWorkbookWriter::durationFormatUnlessTheCellHasOne_data()
{
    QTest::addColumn<int>("numberFormat");
    QTest::addColumn<QString>("customCode");
    QTest::addColumn<bool>("keeps");

    QTest::newRow("General") << 0 << QString() << false;
    QTest::newRow("Text") << 49 << QString() << false;
    QTest::newRow("LibreOffice's own General") << 164 << "General" << false;
    QTest::newRow("a time format") << 46 << QString() << true;
    QTest::newRow("a custom time format") << 164 << "[h]:mm:ss.000" << true;
    QTest::newRow("a number format") << 2 << QString() << true;
}

void TestWorkbookWriter::durationFormatUnlessTheCellHasOne()
{
    QFETCH(int, numberFormat);
    QFETCH(QString, customCode);
    QFETCH(bool, keeps);
    const QString custom = customCode.isEmpty()
        ? QString()
        : QStringLiteral("<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"%1\"/></numFmts>").arg(customCode);
    const QString xml = QStringLiteral("<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">%1"
                                       "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\"/>"
                                       "<xf numFmtId=\"%2\" fontId=\"1\"/></cellXfs></styleSheet>")
                            .arg(custom)
                            .arg(numberFormat);
    XlsxStyles styles;
    QVERIFY(styles.load(xml.toUtf8()));
    QCOMPARE(styles.hasNumberFormat(1), keeps);
    QVERIFY(!styles.hasNumberFormat(0));
    // A copy of the cell's format with the duration's code, made once, the font kept.
    const int made = styles.withNumberFormat(1, QStringLiteral("[$-407][m]:ss.00"));
    QCOMPARE(made, 2);
    QCOMPARE(styles.withNumberFormat(1, QStringLiteral("[$-407][m]:ss.00")), 2);
    QCOMPARE(styles.withNumberFormat(0, QStringLiteral("[$-407][m]:ss.00")), 3);
    QVERIFY(styles.changed());
    pugi::xml_document saved;
    const QByteArray bytes = styles.save();
    QVERIFY(saved.load_buffer(bytes.constData(), std::size_t(bytes.size())));
    const pugi::xml_node copy = saved.select_node("//*[local-name()='cellXfs']/*[3]").node();
    QCOMPARE(QString::fromUtf8(copy.attribute("fontId").value()), QStringLiteral("1"));
    const int id = copy.attribute("numFmtId").as_int();
    QVERIFY(id >= 164 && (customCode.isEmpty() || id == 165));
    const QString query = QStringLiteral("//*[local-name()='numFmt'][@numFmtId='%1']").arg(id);
    QCOMPARE(QString::fromUtf8(saved.select_node(query.toUtf8().constData()).node().attribute("formatCode").value()),
             QStringLiteral("[$-407][m]:ss.00"));
    QCOMPARE(saved.select_node("//*[local-name()='cellXfs']").node().attribute("count").as_int(), 4);
}

// A new workbook holds times as numbers with the duration format, flags and errors as such.
void TestWorkbookWriter::newWorkbookDurations()
{
    Workbook book;
    book.sheets.resize(1);
    book.sheets[0].name = QStringLiteral("Zeiten");
    book.sheets[0].setCell(1, 1, QVariant::fromValue(CellDuration{62345}));
    book.sheets[0].setCell(1, 2, QVariant::fromValue(CellDuration{3723450}));
    book.sheets[0].setCell(1, 3, QVariant::fromValue(CellDuration{-5000}));
    book.sheets[0].setCell(1, 4, true);
    book.sheets[0].setCell(1, 5, QVariant::fromValue(CellError{QStringLiteral("#NV")}));
    const QString path = mDir->filePath(QStringLiteral("Zeiten.xlsx"));
    const WorkbookWriter::Result result = WorkbookWriter::write(book, path);
    QVERIFY2(result.ok, qPrintable(result.error));
    const ReadBook read = readWithOrcus(path);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    // Cut to the hundredths the grid shows.
    QCOMPARE(read.cells.value(key(QStringLiteral("Zeiten"), 1, 1)).kind, QStringLiteral("numeric"));
    QCOMPARE(read.cells.value(key(QStringLiteral("Zeiten"), 1, 1)).value.toDouble(), 62.34 / 86400);
    // A negative time cannot be a duration in Excel: it stays the grid's text.
    QCOMPARE(read.cells.value(key(QStringLiteral("Zeiten"), 1, 3)).value, QStringLiteral("-0:05,00"));
    QCOMPARE(read.cells.value(key(QStringLiteral("Zeiten"), 1, 5)).kind, QStringLiteral("formula"));
    const QByteArray styles = zipEntry(path, "xl/styles.xml");
    QVERIFY(styles.contains("formatCode=\"[$-407][m]:ss.00\""));
    QVERIFY(styles.contains("formatCode=\"[$-407][h]:mm:ss.00\""));
    const QByteArray sheet = zipEntry(path, "xl/worksheets/sheet1.xml");
    QVERIFY(sheet.contains("<c r=\"D1\" t=\"b\"><v>1</v></c>"));
    QVERIFY(sheet.contains("<f>#N/A</f>"));
}

QTEST_GUILESS_MAIN(TestWorkbookWriter)
#include "testworkbookwriter.moc"
