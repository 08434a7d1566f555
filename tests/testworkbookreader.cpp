#include "results/StarterListImport.h"
#include "workbook/WorkbookReader.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDate>
#include <QDir>
#include <QLocale>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <xlsxwriter.h>
#include <zip.h>

#include <array>
#include <map>
#include <functional>
#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A cell the test expects: row and column from 1, and its value (invalid for an empty cell).
struct ExpectedCell
{
    int row;
    int column;
    QVariant value;
};
using ExpectedCells = QList<ExpectedCell>;
Q_DECLARE_METATYPE(ExpectedCells)

// Reading the starter lists and templates saved by a real spreadsheet application, CSV in the
// forms German exports take, and files that are no workbook at all.
class TestWorkbookReader : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;

    // Copies a file from tests/data into the temporary folder, so nothing reads the originals.
    QString copyOf(const QString &dataPath)
    {
        const QString source = QFINDTESTDATA(QStringLiteral("data/") + dataPath);
        const QString target = mDir.filePath(dataPath.section(u'/', -1));
        QFile::remove(target);
        if (source.isEmpty() || !QFile::copy(source, target))
            return {};
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = mDir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }

    QByteArray bytesOf(const QString &dataPath)
    {
        QFile file(QFINDTESTDATA(QStringLiteral("data/") + dataPath));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Same type (number or text) and same value: a number read as text is a failure here.
    static void compareCell(const Worksheet &sheet, const ExpectedCell &expected)
    {
        const QVariant actual = sheet.cell(expected.row, expected.column);
        const QByteArray where = QStringLiteral("row %1 column %2: got %3 (%4)")
                                     .arg(expected.row)
                                     .arg(expected.column)
                                     .arg(actual.toString(), QString::fromLatin1(actual.typeName()))
                                     .toUtf8();
        QVERIFY2(actual.isValid() == expected.value.isValid(), where.constData());
        if (!expected.value.isValid())
            return;
        QVERIFY2(actual.typeId() == expected.value.typeId(), where.constData());
        QVERIFY2(actual == expected.value, where.constData());
    }

    static QString sheetReader()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/chronolauf-sheetreader");
    }

    // The helper's output as the program expects it, written field by field.
    static QByteArray stream(quint32 magic, quint16 version, const std::function<void(QDataStream &)> &body)
    {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << magic << version;
        body(out);
        return bytes;
    }

    // The smallest ZIP package (stored, one entry): a valid archive that holds no workbook.
    static QByteArray zipOf(const QByteArray &name, const QByteArray &content)
    {
        quint32 crc = 0xFFFFFFFFu;
        for (const char byte : content) {
            crc ^= static_cast<unsigned char>(byte);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        crc = ~crc;
        auto le16 = [](QByteArray &out, quint32 v) {
            out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
        };
        auto le32 = [&le16](QByteArray &out, quint32 v) {
            le16(out, v & 0xFFFF);
            le16(out, v >> 16);
        };
        const auto size = quint32(content.size());
        QByteArray zip("PK\x03\x04", 4);
        le16(zip, 20), le16(zip, 0), le16(zip, 0), le16(zip, 0), le16(zip, 0);
        le32(zip, crc), le32(zip, size), le32(zip, size);
        le16(zip, quint32(name.size())), le16(zip, 0);
        zip += name + content;
        const auto directory = quint32(zip.size());
        zip += QByteArray("PK\x01\x02", 4);
        le16(zip, 20), le16(zip, 20), le16(zip, 0), le16(zip, 0), le16(zip, 0), le16(zip, 0);
        le32(zip, crc), le32(zip, size), le32(zip, size);
        le16(zip, quint32(name.size())), le16(zip, 0), le16(zip, 0), le16(zip, 0), le16(zip, 0);
        le32(zip, 0), le32(zip, 0);
        zip += name;
        const quint32 directorySize = quint32(zip.size()) - directory;
        zip += QByteArray("PK\x05\x06", 4);
        le16(zip, 0), le16(zip, 0), le16(zip, 1), le16(zip, 1);
        le32(zip, directorySize), le32(zip, directory), le16(zip, 0);
        return zip;
    }


    // --- One list, saved by three writers ---

    // The list every writer saves: two paragraphs, leading spaces, formulas for a number and a
    // name, an error value, a truth value, a date, and (where the writer can) a formula saved
    // without its result.
    static QByteArray flatOds()
    {
        return QByteArrayLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" office:version=\"1.2\" office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">"
            "<office:body><office:spreadsheet><table:table table:name=\"Starter\">"
            "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"1\"/><table:table-cell office:value-type=\"string\"><text:p>Anna</text:p><text:p>Berg</text:p></table:table-cell></table:table-row>"
            "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"2\"/><table:table-cell office:value-type=\"string\"><text:p><text:s text:c=\"2\"/>Team &lt;Nord&gt;<text:s text:c=\"2\"/></text:p></table:table-cell></table:table-row>"
            "<table:table-row><table:table-cell table:formula=\"of:=1+2\" office:value-type=\"float\" office:value=\"3\"/><table:table-cell table:formula=\"of:=&quot;Kai&quot;&amp;&quot;ser&quot;\" office:value-type=\"string\" office:string-value=\"Kaiser\"/></table:table-row>"
            "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"4\"/><table:table-cell table:formula=\"of:=NA()\"/></table:table-row>"
            "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"5\"/><table:table-cell office:value-type=\"string\"><text:p>Eva</text:p></table:table-cell></table:table-row>"
            "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"6\"/><table:table-cell office:value-type=\"date\" office:date-value=\"2024-05-01\"/></table:table-row>"
            "</table:table></office:spreadsheet></office:body></office:document>");
    }

    // The list saved by LibreOffice itself: the flat file above converted to the format.
    QString savedByLibreOffice(const QString &format)
    {
        const QString target = mDir.filePath(QStringLiteral("libreoffice/liste.") + format);
        if (QFileInfo::exists(target))
            return target;
        const QString source = write(QStringLiteral("liste.fods"), flatOds());
        QProcess soffice;
        // A profile of its own, so that no running LibreOffice or other test gets in the way.
        soffice.start(QStringLiteral("soffice"), {QStringLiteral("-env:UserInstallation=file://") + mDir.filePath(QStringLiteral("lo-profile")),
                                                   QStringLiteral("--headless"), QStringLiteral("--convert-to"), format,
                                                   QStringLiteral("--outdir"), mDir.filePath(QStringLiteral("libreoffice")), source});
        if (!soffice.waitForFinished(120'000))
            soffice.kill();
        return QFileInfo::exists(target) ? target : QString();
    }

    // A package zipped here from its parts, the way scripts write sheets (openpyxl, pandas):
    // texts as inline strings, no shared strings at all.
    QString zipped(const QString &name, const std::map<QString, QByteArray> &parts)
    {
        const QString path = mDir.filePath(name);
        QFile::remove(path);
        int error = 0;
        zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (!archive)
            return {};
        for (const auto &[partName, content] : parts) {
            zip_source_t *source = zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
            if (!source || zip_file_add(archive, partName.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
                zip_source_free(source);
                zip_discard(archive);
                return {};
            }
        }
        return zip_close(archive) == 0 ? path : QString();
    }

    QString inlineStringsWorkbook(const QString &name, const QByteArray &sheetData)
    {
        return zipped(name, {
            {QStringLiteral("[Content_Types].xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/><Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/></Types>"},
            {QStringLiteral("_rels/.rels"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
            {QStringLiteral("xl/workbook.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets><sheet name=\"Starter\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
            {QStringLiteral("xl/_rels/workbook.xml.rels"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
            {QStringLiteral("xl/worksheets/sheet1.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
                 + sheetData + "</sheetData></worksheet>"},
        });
    }

    // A package with a shared string table, as a spreadsheet program saves one: cells of type
    // "s" point at its entries.
    QString sharedStringsWorkbook(const QString &name, const QByteArray &entries, const QByteArray &sheetData)
    {
        const QByteArray ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
        const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
        return zipped(name, {
            {QStringLiteral("[Content_Types].xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
             "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" + ct + "sheet.main+xml\"/><Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" + ct + "worksheet+xml\"/>"
             "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" + ct + "sharedStrings+xml\"/></Types>"},
            {QStringLiteral("_rels/.rels"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
            {QStringLiteral("xl/workbook.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets><sheet name=\"Starter\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
            {QStringLiteral("xl/_rels/workbook.xml.rels"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
             "<Relationship Id=\"rId2\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
            {QStringLiteral("xl/sharedStrings.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" + entries + "</sst>"},
            {QStringLiteral("xl/worksheets/sheet1.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
                 + sheetData + "</sheetData></worksheet>"},
        });
    }

    // The list as a script writes it, with numbers typed explicitly (t="n").
    static QByteArray inlineStringsList()
    {
        return "<row r=\"1\"><c r=\"A1\" t=\"n\"><v>1</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>Anna" "\n" "Berg</t></is></c></row><row r=\"2\"><c r=\"A2\" t=\"n\"><v>2</v></c><c r=\"B2\" t=\"inlineStr\"><is><r><t xml:space=\"preserve\">  Team </t></r><r><rPr><b/></rPr><t xml:space=\"preserve\">&lt;Nord&gt;  </t></r></is></c></row><row r=\"3\"><c r=\"A3\"><f>1+2</f><v>3</v></c><c r=\"B3\" t=\"str\"><f>\"Kai\"&amp;\"ser\"</f><v>Kaiser</v></c></row><row r=\"4\"><c r=\"A4\" t=\"n\"><v>4</v></c><c r=\"B4\" t=\"e\"><f>NA()</f><v>#N/A</v></c><c r=\"C4\" t=\"e\"><v>#DIV/0!</v></c></row><row r=\"5\"><c r=\"A5\" t=\"n\"><v>5</v></c><c r=\"B5\" t=\"b\"><v>1</v></c><c r=\"C5\" t=\"b\"><f>FALSE()</f><v>0</v></c></row><row r=\"6\"><c r=\"A6\" t=\"n\"><v>6</v></c><c r=\"B6\" t=\"n\"><v>45413</v></c></row><row r=\"7\"><c r=\"A7\"><f>2+5</f></c><c r=\"B7\" t=\"inlineStr\"><is><t>Ida</t></is></c></row>";
    }

    QString savedByLibXlsxWriter()
    {
        const QString path = mDir.filePath(QStringLiteral("libxlsxwriter.xlsx"));
        lxw_workbook *workbook = workbook_new(QFile::encodeName(path).constData());
        lxw_worksheet *sheet = workbook_add_worksheet(workbook, "Starter");
        lxw_format *date = workbook_add_format(workbook);
        format_set_num_format(date, "dd.mm.yyyy");
        lxw_format *bold = workbook_add_format(workbook);
        format_set_bold(bold);
        for (int row = 0; row < 6; ++row)
            if (row != 2)
                worksheet_write_number(sheet, lxw_row_t(row), 0, row + 1, nullptr);
        worksheet_write_string(sheet, 0, 1, "Anna\nBerg", nullptr);
        lxw_rich_string_tuple plain{.format = nullptr, .string = const_cast<char *>("  Team ")};
        lxw_rich_string_tuple strong{.format = bold, .string = const_cast<char *>("<Nord>  ")};
        lxw_rich_string_tuple *runs[] = {&plain, &strong, nullptr};
        worksheet_write_rich_string(sheet, 1, 1, runs, nullptr);
        worksheet_write_formula_num(sheet, 2, 0, "=1+2", nullptr, 3);
        worksheet_write_formula_str(sheet, 2, 1, "=\"Kai\"&\"ser\"", nullptr, "Kaiser");
        worksheet_write_string(sheet, 3, 1, "Dora", nullptr);
        worksheet_write_boolean(sheet, 4, 1, 1, nullptr);
        lxw_datetime day{.year = 2024, .month = 5, .day = 1, .hour = 0, .min = 0, .sec = 0};
        worksheet_write_datetime(sheet, 5, 1, &day, date);
        return workbook_close(workbook) == LXW_NO_ERROR ? path : QString();
    }

    QString savedBy(const QString &writer, const QString &format)
    {
        if (writer == QLatin1String("LibreOffice"))
            return savedByLibreOffice(format);
        if (writer == QLatin1String("inline strings"))
            return inlineStringsWorkbook(QStringLiteral("inline.xlsx"), inlineStringsList());
        return savedByLibXlsxWriter();
    }

    static QStringList formulaCells(const Worksheet &sheet)
    {
        QStringList names;
        for (const auto &[row, column] : sheet.formulasWithoutResult)
            names << QChar(char16_t(u'A' + column - 1)) + QString::number(row);
        return names;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(mDir.isValid());
        // Without the helper beside the test, the files below would be read in this process,
        // and the first library crash would end the test run.
        const QFileInfo helper(sheetReader());
        QVERIFY2(helper.isFile() && helper.isExecutable(), qPrintable(helper.filePath()));
    }

    void starterLists_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<ExpectedCells>("cells");

        struct List
        {
            const char *name;
            int rows;
            int columns;
            ExpectedCells cells;
        };
        const std::array<List, 7> lists = {{
            {"starters-12", 12, 2,
             {{1, 1, 1.0}, {1, 2, QStringLiteral("Müller")}, {2, 2, QStringLiteral("Weiß & Söhne")},
              {3, 2, QStringLiteral("Team <Nord>")}, {4, 2, QStringLiteral("Łukasz Nowak")},
              {5, 2, QStringLiteral("O'Brien")}, {7, 2, QStringLiteral("Ångström")}, {9, 2, QStringLiteral("García")},
              {10, 1, 10.0}, {10, 2, QStringLiteral("Nguyễn")}, {12, 1, 12.0}, {12, 2, QStringLiteral("Becker")},
              {13, 1, QVariant()}, {1, 3, QVariant()}}},
            {"starters-25", 25, 2,
             {{1, 1, 101.0}, {1, 2, QStringLiteral("Müller")}, {20, 1, 120.0}, {23, 2, QStringLiteral("Krüger")},
              {25, 1, 125.0}, {25, 2, QStringLiteral("Hartmann")}}},
            {"starters-gap", 10, 2,
             {{5, 1, 11.0}, {5, 2, QStringLiteral("Emil")}, {6, 1, QVariant()}, {6, 2, QVariant()}, {7, 1, 12.0},
              {7, 2, QStringLiteral("Fritz")}, {10, 2, QStringLiteral("Ida")}}},
            {"starters-name-without-number", 5, 2,
             {{3, 1, 3.0}, {4, 1, QVariant()}, {4, 2, QStringLiteral("Ohne Nummer")}, {5, 1, 5.0}}},
            {"starters-empty-a1", 2, 2,
             {{1, 1, QVariant()}, {1, 2, QStringLiteral("Anna")}, {2, 1, 2.0}, {2, 2, QStringLiteral("Ben")}}},
            {"starters-extra-columns", 2, 13,
             {{1, 1, 21.0}, {1, 3, QStringLiteral("RSC Nord")}, {1, 5, 4.0}, {1, 13, QStringLiteral("l")},
              {2, 3, QStringLiteral("TV Süd")}, {2, 5, 5.5}, {2, 6, QVariant()}, {2, 13, QVariant()}}},
            {"starters-cell-types", 3, 2,
             {{1, 1, 7.5}, {2, 1, QStringLiteral("A12")}, {3, 1, 3.0}, {3, 2, 42.0},
              {1, 2, QStringLiteral("Dezimal")}}},
        }};
        for (const List &list : lists) {
            for (const char *extension : {".xls", ".xlsx", ".ods", ".csv"}) {
                const QString file = QString::fromLatin1(list.name) + QLatin1String(extension);
                QTest::newRow(qPrintable(file)) << file << list.rows << list.columns << list.cells;
            }
        }
    }

    void starterLists()
    {
        QFETCH(QString, file);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(ExpectedCells, cells);

        const QString path = copyOf(QStringLiteral("starters/") + file);
        QVERIFY2(!path.isEmpty(), qPrintable(file));
        const auto result = WorkbookReader::read(path);
        QVERIFY2(result.workbook, qPrintable(result.error));
        QCOMPARE(result.error, QString());
        QCOMPARE(result.workbook->sourcePath, path);
        QCOMPARE(result.workbook->sheets.size(), std::size_t(1));
        const Worksheet &sheet = result.workbook->sheets.front();
        // The application saved its sheet as "Starter"; a CSV file's sheet is named after the file.
        const QString name = file.endsWith(QLatin1String(".csv")) ? file.section(u'.', 0, 0) : QStringLiteral("Starter");
        QCOMPARE(sheet.name, name);
        QCOMPARE(sheet.usedRows(), rows);
        QCOMPARE(sheet.usedColumns(), columns);
        for (const ExpectedCell &cell : cells)
            compareCell(sheet, cell);
    }

    void templates_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("sheetNames");
        QTest::addColumn<int>("sheet");
        QTest::addColumn<ExpectedCells>("cells");
        QTest::addColumn<bool>("formulaResultMissing");

        const QStringList two{QStringLiteral("Runden"), QStringLiteral("Ergebnis")};
        const ExpectedCells ergebnis{{2, 10, QStringLiteral("Erstellt mit Vorlage")}, {2, 1, QStringLiteral("Rennen:")},
                                     {4, 7, QStringLiteral("Datum:")}, {1, 1, QVariant()}};
        const ExpectedCells runden{{1, 1, QStringLiteral("Titel:")}, {5, 1, QVariant()}, {8, 1, QStringLiteral("Name")}};
        QTest::newRow("xlt Runden") << "Ergebnis-Mustervorlage.xlt" << two << 0 << runden << false;
        QTest::newRow("xlt Ergebnis") << "Ergebnis-Mustervorlage.xlt" << two << 1 << ergebnis << true;
        QTest::newRow("xltx Runden") << "Ergebnis-Mustervorlage.xltx" << two << 0 << runden << false;
        QTest::newRow("xltx Ergebnis") << "Ergebnis-Mustervorlage.xltx" << two << 1 << ergebnis << false;
        QTest::newRow("one sheet") << "one-sheet.xlt" << QStringList{QStringLiteral("Sheet")} << 0
                                   << ExpectedCells{{1, 1, QStringLiteral("nur ein Blatt")}} << false;
    }

    void templates()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, sheetNames);
        QFETCH(int, sheet);
        QFETCH(ExpectedCells, cells);
        QFETCH(bool, formulaResultMissing);

        const QString path = copyOf(QStringLiteral("templates/") + file);
        QVERIFY2(!path.isEmpty(), qPrintable(file));
        const auto result = WorkbookReader::read(path);
        QVERIFY2(result.workbook, qPrintable(result.error));
        QStringList names;
        for (const Worksheet &worksheet : result.workbook->sheets)
            names << worksheet.name;
        QCOMPARE(names, sheetNames);
        const Worksheet &worksheet = result.workbook->sheets.at(std::size_t(sheet));
        for (const ExpectedCell &cell : cells)
            compareCell(worksheet, cell);
        if (sheet == 1) {
            // J3 holds =1+2; the reader gives the result the application saved with it.
            if (formulaResultMissing)
                QEXPECT_FAIL("", "FreeXL does not give the saved results of formulas", Continue);
            QCOMPARE(worksheet.cell(3, 10), QVariant(3.0));
        }
    }


    // The same list saved by LibreOffice, by a script writing inline strings, and by
    // libxlsxwriter reads as each spreadsheet program shows it.
    void writers_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("format");
        QTest::addColumn<ExpectedCells>("cells");
        QTest::addColumn<QStringList>("formulas");

        const QVariant twoLines = QStringLiteral("Anna\nBerg");
        const QVariant spaced = QStringLiteral("  Team <Nord>  ");
        const QVariant notAvailable = QVariant::fromValue(CellError{QStringLiteral("#N/A")});
        const ExpectedCells common = {{1, 1, 1.0}, {1, 2, twoLines}, {2, 2, spaced}, {4, 1, 4.0}, {6, 1, 6.0}, {6, 2, 45413.0}};
        const ExpectedCells formulaResults = {{3, 1, 3.0}, {3, 2, QStringLiteral("Kaiser")}};
        for (const char *format : {"ods", "xlsx"}) {
            QTest::addRow("LibreOffice %s", format) << "LibreOffice" << format
                                                  << common + formulaResults + ExpectedCells{{4, 2, notAvailable}, {5, 2, QStringLiteral("Eva")}}
                                                  << QStringList();
        }
        // FreeXL gives no formula results: the cells are empty and known to hold formulas.
        QTest::newRow("LibreOffice xls") << "LibreOffice" << "xls"
                                         << common + ExpectedCells{{3, 1, QVariant()}, {3, 2, QVariant()}, {4, 2, QVariant()}}
                                         << QStringList{QStringLiteral("A3"), QStringLiteral("B3"), QStringLiteral("B4")};
        QTest::newRow("inline strings xlsx")
            << "inline strings" << "xlsx"
            << common + formulaResults
                   + ExpectedCells{{4, 2, notAvailable}, {4, 3, QVariant::fromValue(CellError{QStringLiteral("#DIV/0!")})},
                                   {5, 2, true}, {5, 3, false}, {7, 1, QVariant()}, {7, 2, QStringLiteral("Ida")}}
            << QStringList{QStringLiteral("A7")};
        QTest::newRow("libxlsxwriter xlsx") << "libxlsxwriter" << "xlsx"
                                            << common + formulaResults + ExpectedCells{{4, 2, QStringLiteral("Dora")}, {5, 2, true}}
                                            << QStringList();
    }

    void writers()
    {
        QFETCH(QString, writer);
        QFETCH(QString, format);
        QFETCH(ExpectedCells, cells);
        QFETCH(QStringList, formulas);

        const QString path = savedBy(writer, format);
        QVERIFY2(!path.isEmpty(), "the writer saved no file");
        const auto result = WorkbookReader::read(path);
        QVERIFY2(result.workbook, qPrintable(result.error));
        const Worksheet &sheet = result.workbook->sheets.front();
        for (const ExpectedCell &cell : cells)
            compareCell(sheet, cell);
        QCOMPARE(formulaCells(sheet), formulas);
    }

    // What the import takes from a list and what it tells the operator.
    void starterImport_data()
    {
        QTest::addColumn<QString>("writer"); // "csv" for the CSV text below
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("starters");
        QTest::addColumn<QString>("message"); // %1 stands for the file

        QTest::newRow("all taken") << "csv" << QByteArray("1;Anna\n2;Ben\n") << 2 << "2 Starter aus %1 übernommen";
        QByteArray many;
        for (int i = 1; i <= 23; ++i)
            many += QByteArray::number(i) + ";Name " + QByteArray::number(i) + "\n";
        QTest::newRow("more than 20") << "csv" << many << 20
                                      << "20 Starter aus %1 übernommen; 3 weitere Zeilen nicht übernommen (höchstens 20)";
        QTest::newRow("one more than 20") << "csv" << many.left(many.indexOf("22;")) << 20
                                          << "20 Starter aus %1 übernommen; 1 weitere Zeile nicht übernommen (höchstens 20)";
        QByteArray twentyAndAnError;
        for (int i = 1; i <= 20; ++i)
            twentyAndAnError += "<row r=\"" + QByteArray::number(i) + "\"><c r=\"A" + QByteArray::number(i) + "\"><v>" + QByteArray::number(i) + "</v></c></row>";
        twentyAndAnError += "<row r=\"21\"><c r=\"A21\" t=\"e\"><v>#N/A</v></c></row>";
        QTest::newRow("error after the twentieth row") << "inline strings" << twentyAndAnError << 20
                                                       << "20 Starter aus %1 übernommen; 1 weitere Zeile nicht übernommen (höchstens 20)";
        QTest::newRow("gap") << "csv" << QByteArray("1;Anna\n2;Ben\n;\n4;Dora\n") << 2
                             << "2 Starter aus %1 übernommen; Liste endet bei der leeren Zelle A3";
        QTest::newRow("name without number") << "csv" << QByteArray("1;Anna\n;Ben\n") << 1
                                             << "1 Starter aus %1 übernommen; Liste endet bei der leeren Zelle A2";
        QTest::newRow("duplicates") << "csv" << QByteArray("7;Anna\n8;Ben\n7;Carl\n8;Dora\n9;Eva\n") << 5
                                    << "5 Starter aus %1 übernommen; Nr. 7 doppelt; Nr. 8 doppelt";
        QTest::newRow("error in B") << "inline strings"
                                    << QByteArray("<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>Anna</t></is></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\" t=\"inlineStr\"><is><t>Ben</t></is></c></row><row r=\"3\"><c r=\"A3\"><v>3</v></c><c r=\"B3\" t=\"e\"><f>VLOOKUP(3,X1:Y2,2,0)</f><v>#N/A</v></c></row>")
                                    << 0 << "Fehler in Zelle B3: %1";
        QTest::newRow("error in A") << "inline strings"
                                    << QByteArray("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\" t=\"e\"><v>#N/A</v></c></row><row r=\"3\"><c r=\"A3\"><v>3</v></c></row>")
                                    << 0 << "Fehler in Zelle A2: %1";
        QTest::newRow("xlsx formula without result")
            << "inline strings" << QByteArray("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><f>A1+1</f></c></row>") << 0
            << "Formel ohne gespeichertes Ergebnis (Zelle A2): %1";
        QTest::newRow("xls formulas") << "LibreOffice" << QByteArray() << 0
                                      << "Formeln in .xls-Dateien werden nicht gelesen (Zelle A3): %1";
        QTest::newRow("truth values as shown")
            << "inline strings" << QByteArray("<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>Anna</t></is></c><c r=\"C1\" t=\"b\"><v>1</v></c></row>")
            << 1 << "1 Starter aus %1 übernommen";
    }

    void starterImport()
    {
        QFETCH(QString, writer);
        QFETCH(QByteArray, content);
        QFETCH(int, starters);
        QFETCH(QString, message);

        const QString path = writer == QLatin1String("csv") ? write(QStringLiteral("liste.csv"), content)
            : writer == QLatin1String("LibreOffice")         ? savedByLibreOffice(QStringLiteral("xls"))
                                                             : inlineStringsWorkbook(QStringLiteral("import.xlsx"), content);
        QVERIFY(!path.isEmpty());
        const auto result = StarterListImport::ImportStarterList(path, QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(result.rows.size(), starters);
        QCOMPARE(result.ok() ? result.summary : result.error, message.arg(QDir::toNativeSeparators(path)));
        if (QTest::currentDataTag() == QLatin1String("truth values as shown"))
            QCOMPARE(result.rows.front().at(2), QStringLiteral("WAHR"));
    }

    void csvForms_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<ExpectedCells>("cells");

        QTest::newRow("German semicolons, CR LF, Windows-1252")
            << "liste.csv" << QByteArray("1;M\xFCller;7,5\r\n2;Wei\xDF \x80;3.25\r\n") << 2 << 3
            << ExpectedCells{{1, 2, QStringLiteral("Müller")}, {1, 3, QStringLiteral("7,5")}, {2, 2, QStringLiteral("Weiß €")},
                             {2, 3, 3.25}, {2, 1, 2.0}};
        QTest::newRow("UTF-8 with BOM, commas")
            << "liste.csv" << QByteArray("\xEF\xBB\xBFNr,Name\n5,\xC5\x81ukasz\n") << 2 << 2
            << ExpectedCells{{1, 1, QStringLiteral("Nr")}, {2, 1, 5.0}, {2, 2, QStringLiteral("Łukasz")}};
        QTest::newRow("tabs") << "liste.csv" << QByteArray("1\tAnna\tA, B\n2\tBen\tC; D\n") << 2 << 3
                              << ExpectedCells{{1, 3, QStringLiteral("A, B")}, {2, 3, QStringLiteral("C; D")}};
        QTest::newRow("quotes, separators and line breaks in fields")
            << "liste.csv" << QByteArray("\"a;b\";\"sagt \"\"hallo\"\"\"\r\n\"zwei\r\nZeilen\";\"\"\r\n") << 2 << 2
            << ExpectedCells{{1, 1, QStringLiteral("a;b")}, {1, 2, QStringLiteral("sagt \"hallo\"")},
                             {2, 1, QStringLiteral("zwei\nZeilen")}, {2, 2, QVariant()}};
        QTest::newRow("only plain numbers with a point are numbers")
            << "liste.csv" << QByteArray("12;-7.5;1e3;1.234,5; 12;7.;.5;0012\n") << 1 << 8
            << ExpectedCells{{1, 1, 12.0}, {1, 2, -7.5}, {1, 3, QStringLiteral("1e3")}, {1, 4, QStringLiteral("1.234,5")},
                             {1, 5, QStringLiteral(" 12")}, {1, 6, QStringLiteral("7.")}, {1, 7, QStringLiteral(".5")},
                             {1, 8, 12.0}};
        QTest::newRow("last line without line end, empty line kept")
            << "liste.csv" << QByteArray("1;a\n\n3;c") << 3 << 2
            << ExpectedCells{{2, 1, QVariant()}, {3, 1, 3.0}, {3, 2, QStringLiteral("c")}};
        QTest::newRow("commas inside names, semicolons between fields")
            << "liste.csv" << QByteArray("1;M\xC3\xBCller, Hans, Dr.\n2;Becker\n3;Weber, Eva;RSC\n") << 3 << 3
            << ExpectedCells{{1, 2, QStringLiteral("Müller, Hans, Dr.")}, {2, 2, QStringLiteral("Becker")}, {3, 3, QStringLiteral("RSC")}};
        QTest::newRow("CSV saved as .txt") << "liste.txt" << QByteArray("1;Anna\n2;Ben\n") << 2 << 2
                                           << ExpectedCells{{2, 2, QStringLiteral("Ben")}};
    }

    void csvForms()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(ExpectedCells, cells);

        const QString path = write(name, bytes);
        QVERIFY(!path.isEmpty());
        const auto result = WorkbookReader::read(path);
        QVERIFY2(result.workbook, qPrintable(result.error));
        QCOMPARE(result.workbook->sheets.size(), std::size_t(1));
        const Worksheet &sheet = result.workbook->sheets.front();
        QCOMPARE(sheet.name, QStringLiteral("liste"));
        QCOMPARE(sheet.usedRows(), rows);
        QCOMPARE(sheet.usedColumns(), columns);
        for (const ExpectedCell &cell : cells)
            compareCell(sheet, cell);
    }

    // The reader is chosen by content: a file saved under the wrong extension still opens.
    // An entry of the shared string table without text shows as an empty cell, and the
    // entries around it keep their own texts (orcus alone gives it the text of the one before).
    void emptySharedStrings_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QVariant>("shown");
        QTest::newRow("empty text") << QByteArray("<si><t/></si>") << QVariant();
        QTest::newRow("empty text, start and end tag") << QByteArray("<si><t></t></si>") << QVariant();
        QTest::newRow("kept spaces") << QByteArray("<si><t xml:space=\"preserve\"></t></si>") << QVariant();
        QTest::newRow("entry without text") << QByteArray("<si/>") << QVariant();
        QTest::newRow("runs, one empty") << QByteArray("<si><r><t>Eva</t></r><r><rPr><b/></rPr><t/></r></si>")
                                         << QVariant(QStringLiteral("Eva"));
        QTest::newRow("spaces only") << QByteArray("<si><t xml:space=\"preserve\">  </t></si>") << QVariant(QStringLiteral("  "));
    }

    void emptySharedStrings()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QVariant, shown);
        const QString path = sharedStringsWorkbook(
            QStringLiteral("shared.xlsx"), "<si><t>08.12.2026</t></si>" + entry + "<si><t>Anna</t></si>",
            "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c></row>"
            "<row r=\"2\"><c r=\"A2\"><v>7</v></c><c r=\"B2\" t=\"s\"><v>1</v></c></row>");
        QVERIFY(!path.isEmpty());
        const auto result = WorkbookReader::read(path);
        QVERIFY2(result.workbook, qPrintable(result.error));
        const Worksheet &sheet = result.workbook->sheets.front();
        for (const ExpectedCell &cell : ExpectedCells{{1, 1, QStringLiteral("08.12.2026")}, {1, 2, shown},
                                                      {1, 3, QStringLiteral("Anna")}, {2, 1, 7.0}, {2, 2, shown}})
            compareCell(sheet, cell);
    }

    void contentDecides_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("name");

        QTest::newRow("xlsx named .xls") << "starters/starters-12.xlsx" << "liste.xls";
        QTest::newRow("ods named .xlsx") << "starters/starters-12.ods" << "liste.xlsx";
        QTest::newRow("xls named .ods") << "starters/starters-12.xls" << "liste.ods";
        QTest::newRow("xls without extension") << "starters/starters-12.xls" << "liste";
    }

    void contentDecides()
    {
        QFETCH(QString, source);
        QFETCH(QString, name);

        const QString path = write(name, bytesOf(source));
        QVERIFY(!path.isEmpty());
        const auto result = WorkbookReader::read(path);
        QVERIFY2(result.workbook, qPrintable(result.error));
        QCOMPARE(result.workbook->sheets.front().cell(4, 2), QVariant(QStringLiteral("Łukasz Nowak")));
    }

    void badFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");

        const QByteArray xlsx = bytesOf(QStringLiteral("starters/starters-12.xlsx"));
        const QByteArray xls = bytesOf(QStringLiteral("starters/starters-12.xls"));
        const QByteArray ods = bytesOf(QStringLiteral("starters/starters-12.ods"));
        QByteArray random;
        quint32 state = 12345;
        for (int i = 0; i < 4096; ++i) {
            state = state * 1103515245u + 12345u;
            random.append(char((state >> 16) & 0xFF));
        }
        random[0] = '\x01';
        QByteArray encrypted = QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(1016, '\0');
        encrypted += QByteArray::fromRawData("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
        encrypted += QByteArray(1024, '\0');

        const QString noTable = QStringLiteral("Die Datei ist keine Tabelle");
        const QString broken = QStringLiteral("Die Datei ist beschädigt");
        QTest::newRow("empty") << "leer.xlsx" << QByteArray() << QStringLiteral("Die Datei ist leer");
        QTest::newRow("empty csv") << "leer.csv" << QByteArray() << QStringLiteral("Die Datei ist leer");
        QTest::newRow("truncated xlsx") << "kurz.xlsx" << xlsx.left(xlsx.size() / 2) << broken;
        QTest::newRow("xlsx without its end") << "kurz.xlsx" << xlsx.left(xlsx.size() - 30) << broken;
        QTest::newRow("truncated ods") << "kurz.ods" << ods.left(ods.size() / 2) << broken;
        QTest::newRow("truncated xls") << "kurz.xls" << xls.left(xls.size() / 2) << broken;
        QTest::newRow("xls header only") << "kurz.xls" << xls.left(512) << broken;
        QTest::newRow("random bytes") << "zufall.xls" << random << noTable;
        QTest::newRow("text renamed .xls")
            << "brief.xls" << QByteArray("Hallo Anna,\nanbei die Liste, wie besprochen.\nGruß, Ben\n") << noTable;
        QTest::newRow("zip without workbook") << "archiv.xlsx" << zipOf("hallo.txt", "Hallo") << noTable;
        QTest::newRow("zip of a text document")
            << "brief.ods" << zipOf("mimetype", "application/vnd.oasis.opendocument.text") << noTable;
        // A part whose header claims 2 GB once unpacked (what a ZIP bomb claims) is not unpacked.
        QByteArray bomb = xlsx;
        const qsizetype directoryEntry = bomb.indexOf(QByteArray("PK\x01\x02", 4));
        bomb.replace(directoryEntry + 24, 4, QByteArray("\xFF\xFF\xFF\x7F", 4));
        QTest::newRow("part claims 2 GB") << "bombe.xlsx" << bomb << QStringLiteral("Die Datei ist zu groß");
        QTest::newRow("encrypted package") << "geheim.xlsx" << encrypted
                                           << QStringLiteral("Die Datei ist kennwortgeschützt");
    }

    void badFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);

        const QString path = write(name, bytes);
        QVERIFY(!path.isEmpty());
        const auto result = WorkbookReader::read(path);
        QVERIFY(!result.workbook);
        QCOMPARE(result.error, error);
    }

    // Files on which a library crashed, aborted or read out of bounds while fuzzing. The helper
    // may die on them; this process goes on and reports the file as broken.
    void libraryCrashes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("name");

        QTest::newRow("ods: style of the wrong family trips an orcus assertion")
            << "ods-style-family-abort.ods" << "abbruch.ods";
        QTest::newRow("the same ods named .xlsx") << "ods-style-family-abort.ods" << "abbruch.xlsx";
        QTest::newRow("xls: FreeXL reads outside its buffers 1") << "xls-fuzz-crash-1.xls" << "absturz1.xls";
        QTest::newRow("xls: FreeXL reads outside its buffers 2") << "xls-fuzz-crash-2.xls" << "absturz2.xls";
    }

    void libraryCrashes()
    {
        QFETCH(QString, file);
        QFETCH(QString, name);

        const QString path = write(name, bytesOf(QStringLiteral("badfiles/") + file));
        QVERIFY(!path.isEmpty());
        const auto result = WorkbookReader::read(path);
        QVERIFY(!result.workbook);
        QCOMPARE(result.error, QStringLiteral("Die Datei ist beschädigt"));
    }

    // The ODS case above stands for a real crash only while the library still aborts on it.
    void crashInputStillAbortsTheHelper()
    {
        const QString path = write(QStringLiteral("abbruch.ods"), bytesOf(QStringLiteral("badfiles/ods-style-family-abort.ods")));
        QProcess helper;
        helper.setStandardErrorFile(QProcess::nullDevice());
        helper.start(sheetReader(), {path});
        QVERIFY(helper.waitForFinished(30'000));
        QVERIFY2(helper.exitStatus() == QProcess::CrashExit,
                 "orcus no longer aborts on this file: libraryCrashes needs another crash input");
    }

    // A read that never ends is stopped after the time limit: the helper blocks opening a FIFO
    // that nobody writes to any more.
    void stuckReadIsStopped()
    {
        const QString path = mDir.filePath(QStringLiteral("haengt.xls"));
        const QByteArray fifo = QFile::encodeName(path);
        QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
        // This process reads the FIFO once (an OLE2 header, so the helper gets the file).
        std::atomic<bool> written{false};
        std::thread writer([&fifo, &written] {
            const int fd = ::open(fifo.constData(), O_WRONLY);
            if (fd >= 0) {
                const QByteArray header = QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0');
                [[maybe_unused]] const ssize_t ignored = ::write(fd, header.constData(), std::size_t(header.size()));
                ::close(fd);
            }
            written = true;
        });
        QElapsedTimer clock;
        clock.start();
        const auto result = WorkbookReader::read(path, std::chrono::milliseconds(1000));
        const qint64 elapsed = clock.elapsed();
        // Should the read not have opened the FIFO, a reader releases the writer.
        if (!written) {
            const int fd = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
            QTest::qWait(100);
            if (fd >= 0)
                ::close(fd);
        }
        writer.join();
        QVERIFY(!result.workbook);
        QCOMPARE(result.error, QStringLiteral("Die Datei kann nicht gelesen werden: das Lesen dauert zu lange"));
        QVERIFY2(elapsed >= 1000 && elapsed < 10'000, qPrintable(QString::number(elapsed)));
    }

    // What the helper hands over comes back as the same workbook.
    void helperOutputRoundTrip()
    {
        const QString path = copyOf(QStringLiteral("templates/Ergebnis-Mustervorlage.xltx"));
        const auto direct = WorkbookReader::readInProcess(path);
        QVERIFY2(direct.workbook, qPrintable(direct.error));
        const auto back = WorkbookReader::decode(WorkbookReader::encode(direct));
        QVERIFY2(back.workbook, qPrintable(back.error));
        QCOMPARE(back.workbook->sourcePath, path);
        QCOMPARE(back.workbook->sheets.size(), direct.workbook->sheets.size());
        for (std::size_t i = 0; i < direct.workbook->sheets.size(); ++i) {
            const Worksheet &expected = direct.workbook->sheets[i];
            const Worksheet &actual = back.workbook->sheets[i];
            QCOMPARE(actual.name, expected.name);
            QCOMPARE(actual.usedRows(), expected.usedRows());
            QCOMPARE(actual.usedColumns(), expected.usedColumns());
            const CellBlock all = expected.values(1, 1, expected.usedRows(), expected.usedColumns());
            QVERIFY(actual.values(1, 1, actual.usedRows(), actual.usedColumns()) == all);
        }

        // Truth values, error values and formulas without a result cross over as they are.
        const auto scripted = WorkbookReader::readInProcess(copyOf(QStringLiteral("starters/starters-inline-strings.xlsx")));
        QVERIFY2(scripted.workbook, qPrintable(scripted.error));
        const auto crossed = WorkbookReader::decode(WorkbookReader::encode(scripted));
        QVERIFY2(crossed.workbook, qPrintable(crossed.error));
        const Worksheet &sent = scripted.workbook->sheets.front();
        const Worksheet &received = crossed.workbook->sheets.front();
        QCOMPARE(received.cell(5, 2), QVariant(true));
        QCOMPARE(received.cell(4, 2), QVariant::fromValue(CellError{QStringLiteral("#N/A")}));
        QVERIFY(received.values(1, 1, 7, 3) == sent.values(1, 1, 7, 3));
        QCOMPARE(formulaCells(received), QStringList{QStringLiteral("A7")});

        const auto failed = WorkbookReader::decode(WorkbookReader::encode({std::nullopt, QStringLiteral("Die Datei ist zu groß")}));
        QVERIFY(!failed.workbook);
        QCOMPARE(failed.error, QStringLiteral("Die Datei ist zu groß"));
    }

    // Output that is not what a healthy helper writes is refused, never trusted.
    void helperOutputRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");

        const quint32 magic = 0x434C5352;
        const QString broken = QStringLiteral("Die Datei ist beschädigt");
        // A number cell: its tag (1), then the value; no formula without a result.
        auto oneCell = [](qint32 row, qint32 column, double value, quint8 tag = 1) {
            return [=](QDataStream &out) {
                out << true << QStringLiteral("/liste.xls") << quint32(1) << QStringLiteral("Starter") << quint32(1)
                    << row << column << tag << value << quint32(0);
            };
        };
        const QByteArray good = stream(magic, 2, oneCell(1, 1, 7.0));
        // The well-formed one first, so that the rows below fail for their own reason.
        QTest::newRow("well-formed") << good << QString();
        QTest::newRow("nothing") << QByteArray() << broken;
        QTest::newRow("text instead") << QByteArray("Segmentation fault\n") << broken;
        QTest::newRow("other magic") << stream(magic + 1, 2, oneCell(1, 1, 7.0)) << broken;
        QTest::newRow("other version") << stream(magic, 1, oneCell(1, 1, 7.0)) << broken;
        QTest::newRow("cut short") << good.left(good.size() - 3) << broken;
        QTest::newRow("bytes behind the end") << good + QByteArray(1, '\0') << broken;
        QTest::newRow("row 0") << stream(magic, 2, oneCell(0, 1, 7.0)) << broken;
        QTest::newRow("column beyond the sheet") << stream(magic, 2, oneCell(1, 16'385, 7.0)) << broken;
        QTest::newRow("unknown value tag") << stream(magic, 2, oneCell(1, 1, 7.0, 9)) << broken;
        QTest::newRow("no worksheets") << stream(magic, 2, [](QDataStream &out) { out << true << QString() << quint32(0); })
                                       << broken;
        QTest::newRow("more cells than the budget")
            << stream(magic, 2, [](QDataStream &out) { out << true << QString() << quint32(1) << QString() << quint32(2'000'000); })
            << broken;
        QTest::newRow("failure without a message") << stream(magic, 2, [](QDataStream &out) { out << false << QString(); })
                                                   << broken;
        QTest::newRow("failure passed on")
            << stream(magic, 2, [](QDataStream &out) { out << false << QStringLiteral("Die Datei ist kennwortgeschützt"); })
            << QStringLiteral("Die Datei ist kennwortgeschützt");
    }

    void helperOutputRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);

        const auto result = WorkbookReader::decode(bytes);
        QCOMPARE(result.error, error);
        QCOMPARE(result.workbook.has_value(), error.isEmpty());
        if (result.workbook)
            QCOMPARE(result.workbook->sheets.front().cell(1, 1), QVariant(7.0));
    }

    void unreadablePaths()
    {
        const auto missing = WorkbookReader::read(mDir.filePath(QStringLiteral("gibt-es-nicht.xls")));
        QVERIFY(!missing.workbook);
        QVERIFY2(missing.error.startsWith(QLatin1String("Die Datei kann nicht gelesen werden: ")), qPrintable(missing.error));
        QVERIFY(missing.error.size() > QLatin1String("Die Datei kann nicht gelesen werden: ").size());

        const auto folder = WorkbookReader::read(mDir.path());
        QVERIFY(!folder.workbook);
        QVERIFY2(folder.error.startsWith(QLatin1String("Die Datei kann nicht gelesen werden: ")), qPrintable(folder.error));
    }
};

QTEST_GUILESS_MAIN(TestWorkbookReader)
#include "testworkbookreader.moc"
