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

    void scriptsRunInABrowser()
    {
        const QString chromium = QStringLiteral("/usr/bin/chromium");
        if (!QFile::exists(chromium))
            QSKIP("Chromium is not installed (Debian package chromium); the README's test command installs it");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("chronolauf.html"));
        QVERIFY(HtmlProtocol::WriteHtmlProtocol(file, knownPage(), knownResults()).ok());

        QProcess browser;
        browser.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                                 QStringLiteral("--disable-quic"), QStringLiteral("--no-first-run"),
                                 QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-component-update"),
                                 QStringLiteral("--disable-sync"), QStringLiteral("--user-data-dir=") + dir.filePath(QStringLiteral("profile")),
                                 QStringLiteral("--dump-dom"), QUrl::fromLocalFile(file).toString()});
        QVERIFY(browser.waitForFinished(120000));
        const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
        QVERIFY2(dom.contains(QStringLiteral("<table")), qPrintable(QString::fromUtf8(browser.readAllStandardError())));

        // Rows in document order: the title table's row is 0, then the header, then the six participants.
        const QRegularExpression rowTag(QStringLiteral("<tr[^>]*>"));
        QStringList rows;
        for (auto it = rowTag.globalMatch(dom); it.hasNext();)
            rows << it.next().captured(0);
        QCOMPARE(rows.size(), 8);
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i].contains(QStringLiteral("class=\"KPACKA\"")), i % 2 != 0);
        // The names arrive as written, markup characters included, and no table keeps its width.
        QVERIFY(dom.contains(QStringLiteral("Team &lt;Nord&gt; &amp; Co")));
        QVERIFY(dom.contains(QStringLiteral("Łukasz Żółć")));
        QVERIFY(dom.contains(QStringLiteral("Nguyễn Văn An")));
        QVERIFY(!dom.contains(QStringLiteral("width=\"649\"")));
    }
};

QTEST_GUILESS_MAIN(TestHtmlProtocol)
#include "testhtmlprotocol.moc"
