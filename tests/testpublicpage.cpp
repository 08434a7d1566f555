#include "CorrectedRace.h"
#include "FolderServer.h"
#include "HeadlessBrowser.h"
#include "ShownStandings.h"

#include "core/ResultsSnapshot.h"
#include "live/PublicPage.h"
#include "live/StandingsJson.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Date = QStringLiteral("08.12.26");
const QDateTime MadeAt(QDate(2026, 12, 8), QTime(14, 3, 5));

// A race of three, one of them with a name that must stay text.
ResultsSnapshot smallRace(int laps)
{
    RaceDriver d;
    d.core.apply({.kind = RaceInput::Kind::StarterListImported,
                  .table = {{"1", "Anna"}, {"2", "Bernd </script><b>"}, {"3", "Cem & Co"}}});
    d.send(RaceInput::Kind::CarCountChanged, 3);
    d.start();
    for (int lap = 1; lap <= laps; ++lap)
        d.book(2, 30000 * lap);
    return ResultsSnapshot::of(d.core);
}

bool writeFile(const QString &path, const QByteArray &bytes, const QDateTime &modified = {})
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return false;
    out.close();
    if (!modified.isValid())
        return true;
    if (!out.open(QIODevice::ReadWrite))
        return false;
    return out.setFileTime(modified, QFileDevice::FileModificationTime);
}

} // namespace

// The page on the web host: what it holds as made, and in a real browser beside a
// standings.json that the program replaces every few seconds.
class TestPublicPage : public QObject
{
    Q_OBJECT

private slots:
    void fixedParts_data()
    {
        QTest::addColumn<QString>("part");
        QTest::newRow("reads standings.json beside it, past caches")
            << QStringLiteral("fetch('standings.json?t=' + Date.now(), {cache: 'no-store'})");
        QTest::newRow("every five seconds") << QStringLiteral("var EVERY = 5 * 1000, STALE = 60 * 1000;");
        QTest::newRow("the data's time") << QStringLiteral("'Stand: ' + timeOf(stand)");
        QTest::newRow("old data") << QStringLiteral("'Keine neuen Daten seit ' + timeOf(stand)");
        QTest::newRow("the host's clock") << QStringLiteral("r.headers.get('Last-Modified')");
        QTest::newRow("corrected mark") << QStringLiteral("tr.corrected td:nth-child(3)::after{content:\"korrigiert\"");
        QTest::newRow("when made, without script") << QStringLiteral("<span id=\"stand\">Stand: 14:03:05</span>");
        QTest::newRow("when made, for the script") << QStringLiteral("data-made=\"") + MadeAt.toUTC().toString(Qt::ISODate) + u'"';
        QTest::newRow("German") << QStringLiteral("<html lang=\"de\">");
        QTest::newRow("phones") << QStringLiteral("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
    }

    void fixedParts()
    {
        QFETCH(QString, part);
        const QString page = QString::fromUtf8(PublicPage::of(smallRace(2), Date, MadeAt));
        QVERIFY2(page.contains(part), qPrintable(part));
    }

    // Nothing is fetched from anywhere else: no address with a host, no external file.
    void selfContained()
    {
        const QString page = QString::fromUtf8(PublicPage::of(CorrectedRace().after(), Date, MadeAt));
        QVERIFY(!page.contains(QStringLiteral("http:")));
        QVERIFY(!page.contains(QStringLiteral("https:")));
        QVERIFY(!page.contains(QStringLiteral("//cdn")));
        QVERIFY(!page.contains(QRegularExpression(QStringLiteral("<(link|img|iframe)\\b"))));
        QVERIFY(!page.contains(QRegularExpression(QStringLiteral("<script[^>]*\\bsrc="))));
        QVERIFY(!page.contains(QStringLiteral("url(")));
    }

    // The rows as made, with their marks, and the embedded standings as standings.json has
    // them (without laps); a name never ends the script element.
    void standingsAsMade()
    {
        CorrectedRace race;
        const ResultsSnapshot results = race.after();
        const QByteArray page = PublicPage::of(results, Date, MadeAt);
        const QByteArray json = StandingsJson::of(results, Date, StandingsJson::Laps::Left);
        QVERIFY(page.contains("<script id=\"standings-data\" type=\"application/json\">" + json + "</script>"));
        int corrected = 0;
        for (const ResultsSnapshot::Row &row : results.rows)
            corrected += row.corrected ? 1 : 0;
        QVERIFY(corrected > 0);
        QCOMPARE(page.count("<tr class=\"corrected\">") + page.count(" corrected\">"), corrected);

        const QByteArray named = PublicPage::of(smallRace(1), Date, MadeAt);
        QVERIFY(named.contains("Bernd &lt;/script&gt;&lt;b&gt;"));
        QCOMPARE(named.count("</script>"), 2);
    }

    // In Chromium, from a folder on a small web host: the standings of the standings.json
    // beside the page, then a new one within ten seconds; the time of the data as the host
    // dates the file; the "korrigiert" mark.
    void browserFollowsTheFile()
    {
        if (!HeadlessBrowser::available())
            QSKIP("Chromium is not installed (Debian package chromium)");
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const ResultsSnapshot first = smallRace(1);
        CorrectedRace race;
        const ResultsSnapshot corrected = race.after();
        const QDateTime written = QDateTime::currentDateTime().addSecs(-3);
        // The page was made from the first results; the file is newer.
        QVERIFY(writeFile(folder.filePath(QStringLiteral("index.html")), PublicPage::of(first, Date, written)));
        QVERIFY(writeFile(folder.filePath(QStringLiteral("standings.json")), StandingsJson::of(corrected, Date), written));
        FolderServer host(folder.path());
        QVERIFY(host.port() > 0);

        HeadlessBrowser browser;
        QVERIFY(browser.open(QStringLiteral("http://127.0.0.1:%1/index.html").arg(host.port())));
        const auto shown = [&] {
            QTest::qWait(50);
            return browser.evaluate(ShownRows);
        };
        QTRY_COMPARE_WITH_TIMEOUT(shown(), rowsOf(corrected), 15000);
        const QString stand = QStringLiteral("Stand: ") + written.toString(QStringLiteral("HH:mm:ss"));
        QTRY_COMPARE_WITH_TIMEOUT(browser.evaluate(QStringLiteral("document.getElementById('stand').textContent")), stand, 3000);
        QCOMPARE(browser.evaluate(QStringLiteral("String(document.getElementById('stale').hidden)")), QStringLiteral("true"));
        const QString marks = QStringLiteral("[...document.querySelectorAll('#standings tbody tr')]"
                                             ".filter(r => getComputedStyle(r.cells[2], '::after').content === '\"korrigiert\"').length");
        int expectedMarks = 0;
        for (const ResultsSnapshot::Row &row : corrected.rows)
            expectedMarks += row.corrected ? 1 : 0;
        QCOMPARE(browser.evaluate(marks), QString::number(expectedMarks));

        // The program replaces the file: the page follows within ten seconds, by itself.
        const ResultsSnapshot later = smallRace(3);
        const QDateTime replaced = QDateTime::currentDateTime();
        QVERIFY(writeFile(folder.filePath(QStringLiteral("standings.json")), StandingsJson::of(later, Date), replaced));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), rowsOf(later), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(browser.evaluate(QStringLiteral("document.getElementById('stand').textContent")),
                                  QStringLiteral("Stand: ") + replaced.toString(QStringLiteral("HH:mm:ss")), 1500);
        QCOMPARE(browser.evaluate(marks), QStringLiteral("0"));
    }

    // A file the program stopped replacing: the page says since when nothing new came.
    void browserCallsOutOldData_data()
    {
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<bool>("stale");
        QTest::newRow("half a minute: fine") << 30 << false << false;
        QTest::newRow("five minutes: old") << 300 << false << true;
        QTest::newRow("two hours: old") << 7200 << false << true;
        QTest::newRow("two hours after the end: final") << 7200 << true << false;
    }

    void browserCallsOutOldData()
    {
        QFETCH(int, ageSeconds);
        QFETCH(bool, ended);
        QFETCH(bool, stale);
        if (!HeadlessBrowser::available())
            QSKIP("Chromium is not installed (Debian package chromium)");
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        ResultsSnapshot results = smallRace(2);
        QCOMPARE(results.state, SessionState::Running);
        if (ended)
            results.state = SessionState::Ended;
        const QDateTime modified = QDateTime::currentDateTime().addSecs(-ageSeconds);
        QVERIFY(writeFile(folder.filePath(QStringLiteral("index.html")), PublicPage::of(results, Date, modified)));
        QVERIFY(writeFile(folder.filePath(QStringLiteral("standings.json")), StandingsJson::of(results, Date), modified));
        FolderServer host(folder.path());
        QVERIFY(host.port() > 0);
        HeadlessBrowser browser;
        QVERIFY(browser.open(QStringLiteral("http://127.0.0.1:%1/index.html").arg(host.port())));
        // Once the page has read the file, the line says what the host says.
        QTRY_VERIFY_WITH_TIMEOUT(browser.evaluate(QStringLiteral("document.body.dataset.reads || ''")) != QString(), 15000);
        QTest::qWait(1100); // the once-a-second tick has shown the read
        const QString time = modified.toString(QStringLiteral("HH:mm:ss"));
        QCOMPARE(browser.evaluate(QStringLiteral("document.getElementById('stand').textContent")), QStringLiteral("Stand: ") + time);
        QCOMPARE(browser.evaluate(QStringLiteral("String(document.getElementById('stale').hidden)")),
                 stale ? QStringLiteral("false") : QStringLiteral("true"));
        QCOMPARE(browser.evaluate(QStringLiteral("document.getElementById('stale').textContent")),
                 stale ? QStringLiteral("Keine neuen Daten seit ") + time : QString());
        QCOMPARE(browser.evaluate(ShownRows), rowsOf(results));
    }
};

QTEST_GUILESS_MAIN(TestPublicPage)
#include "testpublicpage.moc"
