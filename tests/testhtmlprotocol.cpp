#include "CorrectedRace.h"
#include "RaceDriver.h"

#include "core/ResultsSnapshot.h"
#include "results/HtmlProtocol.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using Kind = RaceInput::Kind;
using Col = StandingsGrid::Column;

// The results page, byte for byte, and what a browser makes of it.
class TestHtmlProtocol : public QObject
{
    Q_OBJECT

    // A stopped race of six: places, a lapped group, one participant out, names with
    // umlauts and markup characters.
    static ResultsSnapshot knownResults()
    {
        RaceDriver d;
        d.send(Kind::CarCountChanged, 6);
        d.start();
        for (int lap = 1; lap <= 3; ++lap) {
            d.book(1, lap * 100000);
            d.book(2, lap * 100000 + 2500);
            if (lap <= 2) {
                d.book(3, lap * 100000 + 20000);
                d.book(4, lap * 100000 + 31000);
            }
            if (lap == 1)
                d.book(5, 150000);
        }
        d.stop(true);
        d.send(Kind::MarkOut, d.rowOf(4));
        ResultsSnapshot results = ResultsSnapshot::of(d.core);
        results.title = QStringLiteral("24h-Staffel Süd <Nacht> & Tag");
        results.sessionType = QStringLiteral("Rennen");
        const QStringList numbers{"", "7", "12", "3", "21", "5", "99"};
        const QStringList names{"", "Jürgen Weiß", "Team <Nord> & Co", "Łukasz Żółć", "\"Die Ö-Staffel\"", "Nguyễn Văn An",
                                "Ohne Runde"};
        for (ResultsSnapshot::Row &row : results.rows) {
            row.cells[Col::Number] = numbers[row.participant];
            row.cells[Col::Name] = names[row.participant];
        }
        return results;
    }

    // Titles only: a grid of no participant rows.
    static ResultsSnapshot emptyResults()
    {
        ResultsSnapshot results = knownResults();
        results.rows.clear();
        return results;
    }

    static HtmlProtocol::Page knownPage()
    {
        return {QStringLiteral("08.12.26"), QStringLiteral("https://www.chronolauf.example/"), QStringLiteral("Zeitkontor")};
    }

private slots:
    void goldenPage()
    {
        const QByteArray page = HtmlProtocol::Build(knownPage(), knownResults());
        QFile golden(QFINDTESTDATA("data/protocol-golden.html"));
        QVERIFY2(golden.open(QIODevice::ReadOnly), "tests/data/protocol-golden.html");
        const QByteArray expected = golden.readAll();
        if (page != expected) {
            QFile actual(QDir::temp().filePath(QStringLiteral("protocol-actual.html")));
            if (actual.open(QIODevice::WriteOnly))
                actual.write(page);
            QFAIL(qPrintable(QStringLiteral("page differs from the golden file; written to %1").arg(actual.fileName())));
        }
    }

    // Results without corrections give the page as it was before corrections could reach
    // it, byte for byte: the golden files were written by that page.
    void pagesWithoutCorrections_data()
    {
        QTest::addColumn<QString>("golden");
        QTest::addColumn<bool>("knownRace");
        QTest::newRow("six, one out, names to escape") << "data/protocol-golden.html" << true;
        QTest::newRow("race of five at its stop") << "data/protocol-uncorrected.html" << false;
    }

    void pagesWithoutCorrections()
    {
        QFETCH(QString, golden);
        QFETCH(bool, knownRace);
        const ResultsSnapshot results = knownRace ? knownResults() : CorrectedRace().before();
        QVERIFY(results.corrections.empty());
        const QByteArray page = HtmlProtocol::Build(knownPage(), results);
        QFile file(QFINDTESTDATA(golden));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(golden));
        const QByteArray expected = file.readAll();
        if (page != expected) {
            QFile actual(QDir::temp().filePath(QFileInfo(golden).fileName() + QStringLiteral(".actual")));
            if (actual.open(QIODevice::WriteOnly))
                actual.write(page);
            QFAIL(qPrintable(QStringLiteral("page differs from %1; written to %2").arg(golden, actual.fileName())));
        }
        QVERIFY(!page.contains("Korrekturen"));
    }

    // A corrected race's page ends with the corrections in effect: the heading, the trail's
    // titles and one row each, every text escaped and encoded like the rest of the page.
    void correctionsSection_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("row");
        QTest::newRow("double pass struck")
            << 0 << QByteArray("<tr><td>14:03:05</td><td>3:50,00</td><td>Anna</td><td>Streichen</td><td>1</td><td>2</td>"
                               "<td>1:03,50</td><td>gestrichen</td><td>doppelt erfasst</td></tr>\r\n");
        QTest::newRow("moved, a reason of markup")
            << 1 << QByteArray("<tr><td>14:04:05</td><td>3:50,00</td><td>J\xFCrgen</td><td>Umbuchen</td><td>2 &#8594; 3</td>"
                               "<td>3 &#8594; 2</td><td>2, 2:10,00</td><td>3, 2:10,00</td><td>&lt;b&gt;&amp;&quot;Nr. 3&quot;</td></tr>\r\n");
        QTest::newRow("missed pass inserted")
            << 2 << QByteArray("<tr><td>14:05:05</td><td>3:50,00</td><td>&#321;ukasz</td><td>Nachtragen</td><td>4</td><td>2</td>"
                               "<td></td><td>2:20,00</td><td>Schranke verpasst</td></tr>\r\n");
    }

    void correctionsSection()
    {
        QFETCH(int, index);
        QFETCH(QByteArray, row);
        const ResultsSnapshot results = CorrectedRace().after();
        QCOMPARE(int(results.corrections.size()), CorrectedRace::Count);
        const QByteArray page = HtmlProtocol::Build(knownPage(), results);
        const QByteArray start = "<br>\r\n<p><font face=\"Arial\" size=3><b>Korrekturen</b></font></p>\r\n"
                                 "<table border=1 class=\"Table-courier\" cellpadding=4 cellspacing=0>\r\n"
                                 "<tr bgcolor=#CCCCCC>\r\n<th>Uhrzeit</th>\r\n<th>Rennzeit</th>\r\n<th>Bediener</th>\r\n"
                                 "<th>Aktion</th>\r\n<th>Teilnehmer</th>\r\n<th>Runde</th>\r\n<th>Alt</th>\r\n<th>Neu</th>\r\n"
                                 "<th>Grund</th>\r\n</tr>\r\n";
        QCOMPARE(page.count("Korrekturen"), 1);
        const qsizetype at = page.indexOf(start);
        QVERIFY(at > 0);
        QByteArray section = page.mid(at);
        QVERIFY(section.endsWith("</TABLE>\r\n</body></html>\r\n"));
        // The rows in order, this one in its place.
        QByteArrayList rows = section.mid(start.size()).split('\n');
        QCOMPARE(rows.size(), CorrectedRace::Count + 3);
        QCOMPARE(rows[index] + '\n', row);
        QVERIFY(!section.contains("<b>&"));

        // Before the section, the page is the one the same results give without corrections.
        ResultsSnapshot uncorrected = results;
        uncorrected.corrections.clear();
        QCOMPARE(page.left(at) + "</body></html>\r\n", HtmlProtocol::Build(knownPage(), uncorrected));
    }

    void linesEndInCrLf()
    {
        const QByteArray page = HtmlProtocol::Build(knownPage(), knownResults());
        QVERIFY(page.endsWith("</body></html>\r\n"));
        QCOMPARE(page.count('\n'), page.count("\r\n"));
        QCOMPARE(page.count('\r'), page.count("\r\n"));
    }

    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << "Team 7" << QByteArray("Team 7");
        QTest::newRow("markup") << "<b>&\"x\"</b>" << QByteArray("&lt;b&gt;&amp;&quot;x&quot;&lt;/b&gt;");
        QTest::newRow("script") << "<script>alert(1)</script>" << QByteArray("&lt;script&gt;alert(1)&lt;/script&gt;");
        QTest::newRow("umlauts stay Latin-1") << "Müller-Lüdenscheidt" << QByteArray("M\xFCller-L\xFC" "denscheidt");
        QTest::newRow("Polish letters") << "Łódź" << QByteArray("&#321;\xF3" "d&#378;");
        QTest::newRow("Vietnamese") << "Nguyễn" << QByteArray("Nguy&#7877;n");
        QTest::newRow("outside the basic plane") << QString::fromUtf8("Team \xF0\x9F\x8F\x83") << QByteArray("Team &#127939;");
        QTest::newRow("euro sign") << "5 €" << QByteArray("5 &#8364;");
        QTest::newRow("apostrophe stays") << "O'Neill" << QByteArray("O'Neill");
    }

    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        ResultsSnapshot results = emptyResults();
        results.rows.resize(1);
        results.rows[0].cells[Col::Name] = text;
        results.title = text;
        const QByteArray html = HtmlProtocol::Build(knownPage(), results);
        QVERIFY(html.contains("<font face=\"Arial\" size=5>" + written + "</font></p> \r\n"));
        QVERIFY(html.contains("<td>" + written + "</td>"));
    }

    void headerOnly()
    {
        const QByteArray html = HtmlProtocol::Build(knownPage(), emptyResults());
        QCOMPARE(html.count("<tr>"), 1); // the title table's row; the results have only their header
        QCOMPARE(html.count("<th>"), 8);
        QVERIFY(html.contains("<tr bgcolor=#CCCCCC>\r\n<th>Platz</th>\r\n<th>Nr.</th>\r\n<th>Fahrer</th>\r\n<th>Rd.</th>\r\n"
                              "<th>Ges. Zeit</th>\r\n<th>Zum 1.</th>\r\n<th>Vorderer</th>\r\n<th>Top Runde</th>\r\n</tr>\r\n</TABLE>"));
    }

    void writingTwiceOverwrites()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("chronolauf.html"));
        const HtmlProtocol::Page page = knownPage();
        QVERIFY(HtmlProtocol::WriteHtmlProtocol(file, page, knownResults()).ok());
        ResultsSnapshot empty = emptyResults();
        empty.title = QStringLiteral("Zweiter Lauf");
        QVERIFY(HtmlProtocol::WriteHtmlProtocol(file, page, empty).ok());
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), HtmlProtocol::Build(page, empty));
    }

    void unwritablePlaces_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("a folder of that name") << "chronolauf.html";
        QTest::newRow("a folder that does not exist") << "missing/chronolauf.html";
    }

    void unwritablePlaces()
    {
        QFETCH(QString, relative);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("chronolauf.html")));
        const auto result = HtmlProtocol::WriteHtmlProtocol(dir.filePath(relative), knownPage(), knownResults());
        QCOMPARE(result.status, HtmlProtocol::WriteResult::Status::CannotOpen);
    }

    void readOnlyFolder()
    {
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const QString file = dir.filePath(QStringLiteral("chronolauf.html"));
        QFile probe(dir.filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.close();
            probe.remove();
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("this user writes into read-only folders (root); the folder-named page covers the error path");
        }
        const auto result = HtmlProtocol::WriteHtmlProtocol(file, knownPage(), knownResults());
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(result.status, HtmlProtocol::WriteResult::Status::CannotOpen);
        QVERIFY(!QFile::exists(file));
    }

    // The page as the window and --replay write it: the session's day in the locale's form.
    void resultsPage_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("expectedMessage");
        QTest::newRow("written") << "chronolauf.html" << QString();
        QTest::newRow("a folder of that name") << "ordner.html" << "Ergebnisseite nicht geschrieben: %1 (";
        QTest::newRow("a folder that does not exist") << "fehlt/chronolauf.html" << "Ergebnisseite nicht geschrieben: %1 (";
    }

    void resultsPage()
    {
        QFETCH(QString, relative);
        QFETCH(QString, expectedMessage);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("ordner.html")));
        const QString file = dir.filePath(relative);
        const QLocale german(QLocale::German, QLocale::Germany);
        const QString message = HtmlProtocol::WriteResultsPage(file, knownResults(), QDate(2026, 12, 8), german,
                                                               QStringLiteral("https://www.chronolauf.example/"));
        if (expectedMessage.isEmpty()) {
            QCOMPARE(message, QString());
            QFile written(file);
            QVERIFY(written.open(QIODevice::ReadOnly));
            const HtmlProtocol::Page page{QStringLiteral("08.12.2026"), QStringLiteral("https://www.chronolauf.example/"),
                                          QStringLiteral("Zeitkontor")};
            QCOMPARE(written.readAll(), HtmlProtocol::Build(page, knownResults()));
            return;
        }
        QVERIFY2(message.startsWith(expectedMessage.arg(QDir::toNativeSeparators(file))), qPrintable(message));
        QVERIFY(message.endsWith(QLatin1Char(')')));
        QVERIFY(!QFileInfo(file).isFile());
    }

    void scriptsRunInABrowser_data()
    {
        QTest::addColumn<bool>("corrected");
        QTest::newRow("six, one out") << false;
        QTest::newRow("corrected race") << true;
    }

    void scriptsRunInABrowser()
    {
        QFETCH(bool, corrected);
        const QString chromium = QStringLiteral("/usr/bin/chromium");
        if (!QFile::exists(chromium))
            QSKIP("Chromium is not installed (Debian package chromium); the README's test command installs it");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("chronolauf.html"));
        QVERIFY(HtmlProtocol::WriteHtmlProtocol(file, knownPage(), corrected ? CorrectedRace().after() : knownResults()).ok());

        QProcess browser;
        browser.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                                 QStringLiteral("--disable-quic"), QStringLiteral("--no-first-run"),
                                 QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-component-update"),
                                 QStringLiteral("--disable-sync"), QStringLiteral("--user-data-dir=") + dir.filePath(QStringLiteral("profile")),
                                 QStringLiteral("--dump-dom"), QUrl::fromLocalFile(file).toString()});
        QVERIFY(browser.waitForFinished(120000));
        const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
        QVERIFY2(dom.contains(QStringLiteral("<table")), qPrintable(QString::fromUtf8(browser.readAllStandardError())));

        // Rows in document order: the title table's row is 0, then the header, then the six
        // participants; or the five, then the corrections' header and their three rows.
        const QRegularExpression rowTag(QStringLiteral("<tr[^>]*>"));
        QStringList rows;
        for (auto it = rowTag.globalMatch(dom); it.hasNext();)
            rows << it.next().captured(0);
        QCOMPARE(rows.size(), corrected ? 11 : 8);
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i].contains(QStringLiteral("class=\"KPACKA\"")), i % 2 != 0);
        QVERIFY(!dom.contains(QStringLiteral("width=\"649\"")));
        if (corrected) {
            // The reason arrives as written, as text; the arrows and names as they were typed.
            QVERIFY(dom.contains(QStringLiteral("<td>&lt;b&gt;&amp;\"Nr. 3\"</td>")));
            QVERIFY(dom.contains(QStringLiteral("<td>2 → 3</td><td>3 → 2</td>")));
            QVERIFY(dom.contains(QStringLiteral("<td>Łukasz</td>")));
            QVERIFY(dom.contains(QStringLiteral("<b>Korrekturen</b>")));
            return;
        }
        // The names arrive as written, markup characters included, and no table keeps its width.
        QVERIFY(dom.contains(QStringLiteral("Team &lt;Nord&gt; &amp; Co")));
        QVERIFY(dom.contains(QStringLiteral("Łukasz Żółć")));
        QVERIFY(dom.contains(QStringLiteral("Nguyễn Văn An")));
        QVERIFY(!dom.contains(QStringLiteral("width=\"649\"")));
    }
};

QTEST_GUILESS_MAIN(TestHtmlProtocol)
#include "testhtmlprotocol.moc"
