#include "output/WorkbookReader.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <array>
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
