#include "CorrectedRace.h"
#include "RaceDriver.h"

#include "core/ResultColumns.h"
#include "core/ResultsSnapshot.h"
#include "live/LivePage.h"
#include "live/StandingsJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using Kind = RaceInput::Kind;

namespace {

enum Moment { Idle, BeforeGong, AfterGong, Stopped };

const QString Date = QStringLiteral("08.12.26");
const QString Title = QStringLiteral("Nacht </script><script>alert(1)</script> & \"Süd\"");
const QList<QStringList> Starters = {{"7", "Jürgen <Weiß>"}, {"12", "Team \"A&B\""}, {"3", "O'Neill & Söhne"},
                                     {"21", "<b>Łukasz</b>"}, {"5", "Nguyễn Văn An 🏃"}};

} // namespace

// The live standings as JSON and as the page, made from races run through the core.
class TestLivePages : public QObject
{
    Q_OBJECT

    // A 100-second race of five: 1 and 2 finish after the gong, 3 and 4 are lapped, 5 never
    // passes; after the stop 4 is taken out.
    static ResultsSnapshot race(int moment)
    {
        RaceDriver d;
        d.core.apply({.kind = Kind::StarterListImported, .table = Starters});
        d.core.apply({.kind = Kind::TitleEdited, .text = Title});
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("100"));
        if (moment == Idle)
            return ResultsSnapshot::of(d.core);
        d.start();
        for (const auto &[p, tick] : {std::pair{1, 30000}, {2, 32000}, {4, 40000}, {3, 45000}, {1, 60000}, {2, 64000},
                                      {4, 80000}, {1, 90000}, {2, 96000}})
            d.book(p, tick);
        d.runTimersTo(97000);
        if (moment == BeforeGong)
            return ResultsSnapshot::of(d.core);
        d.runTimersTo(101000);
        d.book(1, 115000);
        d.book(2, 125000);
        d.runTimersTo(126000);
        if (moment == AfterGong)
            return ResultsSnapshot::of(d.core);
        d.stop(true);
        d.send(Kind::MarkOut, d.rowOf(4));
        return ResultsSnapshot::of(d.core);
    }

    static QJsonObject parsed(const QByteArray &json)
    {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        if (error.error != QJsonParseError::NoError)
            qWarning() << error.errorString() << json;
        return document.object();
    }

    static QStringList texts(const QJsonArray &array)
    {
        QStringList list;
        for (const QJsonValue &v : array)
            list << v.toString();
        return list;
    }

    static QStringList resultCells(const ResultsSnapshot::Cells &cells)
    {
        QStringList list;
        for (const int c : ResultColumns)
            list << cells[c];
        return list;
    }

    static QByteArray html(const QString &text)
    {
        return text.toHtmlEscaped().toUtf8();
    }

private slots:
    void moments_data()
    {
        QTest::addColumn<int>("moment");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("remaining");
        QTest::addColumn<bool>("gong");
        QTest::addColumn<QList<int>>("finished");
        QTest::addColumn<QList<int>>("out");
        QTest::newRow("idle") << int(Idle) << "idle" << "00:01:40" << false << QList<int>{} << QList<int>{};
        QTest::newRow("before the gong") << int(BeforeGong) << "running" << "00:00:04" << false << QList<int>{} << QList<int>{};
        QTest::newRow("after the gong") << int(AfterGong) << "running" << "00:00:00" << true << QList<int>{1, 2} << QList<int>{};
        QTest::newRow("stopped") << int(Stopped) << "ended" << "00:00:00" << false << QList<int>{1, 2} << QList<int>{4};
    }

    void json_data() { moments_data(); }
    void json()
    {
        QFETCH(int, moment);
        QFETCH(QString, state);
        QFETCH(QString, remaining);
        QFETCH(bool, gong);
        QFETCH(QList<int>, finished);
        QFETCH(QList<int>, out);
        const ResultsSnapshot results = race(moment);
        const QByteArray json = StandingsJson::of(results, Date);
        // One line (an event's data line), and nothing a script element could take for markup.
        for (const char ch : {'\n', '\r', '<', '>', '&'})
            QVERIFY(!json.contains(ch));
        // Keys in QJsonDocument's order (sorted): clients go by name, not by place.
        qsizetype at = 0;
        for (const char *key : {"columns", "corrections", "date", "decimalSeparator", "gong", "leaderLaps", "remaining",
                                "remainingSeconds", "rows", "state", "title", "type"}) {
            const qsizetype next = json.indexOf('"' + QByteArray(key) + "\":", at);
            QVERIFY2(next >= at, key);
            at = next;
        }

        const QJsonObject o = parsed(json);
        QCOMPARE(o.size(), 12);
        // Always there, so that a client can rely on it; this race has none.
        QVERIFY(o["corrections"].isArray());
        QCOMPARE(o["corrections"].toArray().size(), 0);
        QCOMPARE(o["title"].toString(), Title);
        QCOMPARE(o["type"].toString(), results.sessionType);
        QCOMPARE(o["date"].toString(), Date);
        QCOMPARE(o["state"].toString(), state);
        QCOMPARE(o["remaining"].toString(), remaining);
        QCOMPARE(o["remainingSeconds"].toInt(-1), results.remainingSeconds);
        QCOMPARE(o["gong"].toBool(!gong), gong);
        QCOMPARE(o["leaderLaps"].toInt(-1), moment == Idle ? 0 : moment == BeforeGong ? 3 : 4);
        QCOMPARE(o["decimalSeparator"].toString(), QStringLiteral(","));
        QCOMPARE(texts(o["columns"].toArray()), resultCells(results.columnTitles));

        const QJsonArray rows = o["rows"].toArray();
        QCOMPARE(rows.size(), qsizetype(Starters.size()));
        for (qsizetype r = 0; r < rows.size(); ++r) {
            const ResultsSnapshot::Row &expected = results.rows[r];
            const QJsonObject row = rows[r].toObject();
            QCOMPARE(row.size(), 6);
            QCOMPARE(row["corrected"].toBool(true), false);
            QCOMPARE(row["participant"].toInt(), expected.participant);
            QCOMPARE(texts(row["cells"].toArray()), resultCells(expected.cells));
            QList<std::int32_t> laps;
            for (const QJsonValue &lap : row["laps"].toArray())
                laps << lap.toInt();
            QCOMPARE(laps, QList<std::int32_t>(expected.lapTimes.begin(), expected.lapTimes.end()));
            QCOMPARE(row["finished"].toBool(), finished.contains(expected.participant));
            QCOMPARE(row["out"].toBool(), out.contains(expected.participant));
            QCOMPARE(row["cells"][2].toString(), Starters[expected.participant - 1][1]);
        }
        if (moment == Stopped) {
            QCOMPARE(rows[0]["laps"].toArray(), (QJsonArray{30000, 30000, 30000, 25000}));
            QCOMPARE(rows[4]["laps"].toArray(), QJsonArray());
        }
    }

    void exactShape()
    {
        ResultsSnapshot results;
        results.title = QStringLiteral("T");
        results.sessionType = QStringLiteral("Rennen");
        results.state = SessionState::Running;
        results.remainingSeconds = 3725;
        results.remainingText = QStringLiteral("01:02:05");
        results.gong = true;
        results.leaderLaps = 2;
        for (int c = 0; c < StandingsGrid::ColumnCount; ++c)
            results.columnTitles[c] = QString::number(c);
        results.rows.push_back({.participant = 3, .cells = results.columnTitles, .lapTimes = {61230, 59870}, .finished = true});
        results.rows.push_back({.participant = 1, .cells = {}, .lapTimes = {}, .finished = false, .out = true});
        QCOMPARE(StandingsJson::of(results, QStringLiteral("D")),
                 QByteArray(R"({"columns":["0","2","3","4","11","9","10","8"],"corrections":[],"date":"D",)"
                            R"("decimalSeparator":",","gong":true,"leaderLaps":2,"remaining":"01:02:05",)"
                            R"("remainingSeconds":3725,"rows":[)"
                            R"({"cells":["0","2","3","4","11","9","10","8"],"corrected":false,"finished":true,"laps":[61230,59870],"out":false,"participant":3},)"
                            R"({"cells":["","","","","","","",""],"corrected":false,"finished":false,"laps":[],"out":true,"participant":1}],)"
                            R"("state":"running","title":"T","type":"Rennen"})"));
    }

    // Each correction in effect as an object of the trail's texts; toParticipant and newLap
    // only for a move.
    void corrections_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("participant");
        QTest::addColumn<QString>("toParticipant");
        QTest::addColumn<int>("lap");
        QTest::addColumn<int>("newLap");
        QTest::addColumn<QString>("passTime");
        QTest::addColumn<QString>("wallClock");
        QTest::addColumn<QString>("operatorName");
        QTest::addColumn<QString>("reason");
        QTest::newRow("strike") << 0 << "Streichen" << "1" << QString() << 2 << 0 << "1:03,50" << "14:03:05" << "Anna"
                                << "doppelt erfasst";
        QTest::newRow("move") << 1 << "Umbuchen" << "2" << "3" << 3 << 2 << "2:10,00" << "14:04:05" << "Jürgen"
                              << CorrectedRace::markupReason();
        QTest::newRow("insert") << 2 << "Nachtragen" << "4" << QString() << 2 << 0 << "2:20,00" << "14:05:05" << "Łukasz"
                                << "Schranke verpasst";
    }

    void corrections()
    {
        QFETCH(int, index);
        QFETCH(QString, action);
        QFETCH(QString, participant);
        QFETCH(QString, toParticipant);
        QFETCH(int, lap);
        QFETCH(int, newLap);
        QFETCH(QString, passTime);
        QFETCH(QString, wallClock);
        QFETCH(QString, operatorName);
        QFETCH(QString, reason);
        CorrectedRace race;
        const ResultsSnapshot results = race.after();
        QCOMPARE(int(results.corrections.size()), CorrectedRace::Count);
        const QByteArray json = StandingsJson::of(results, Date, StandingsJson::Laps::Left);
        for (const char ch : {'\n', '\r', '<', '>', '&'})
            QVERIFY(!json.contains(ch));
        const QJsonObject o = parsed(json);
        const QJsonArray list = o["corrections"].toArray();
        QCOMPARE(list.size(), CorrectedRace::Count);
        const QJsonObject c = list[index].toObject();
        QCOMPARE(c["action"].toString(), action);
        QCOMPARE(c["participant"].toString(), participant);
        QCOMPARE(c.contains("toParticipant"), !toParticipant.isEmpty());
        QCOMPARE(c["toParticipant"].toString(), toParticipant);
        QCOMPARE(c["lap"].toInt(-1), lap);
        QCOMPARE(c.contains("newLap"), newLap > 0);
        QCOMPARE(c["newLap"].toInt(0), newLap);
        QCOMPARE(c["passTime"].toString(), passTime);
        QCOMPARE(c["madeAt"].toString(), QStringLiteral("3:50,00"));
        QCOMPARE(c["wallClock"].toString(), wallClock);
        QCOMPARE(c["operator"].toString(), operatorName);
        QCOMPARE(c["reason"].toString(), reason);
        QCOMPARE(c.size(), 8 + (toParticipant.isEmpty() ? 0 : 2));

        // The rows the corrections changed say so, the others do not.
        for (const QJsonValue &row : o["rows"].toArray()) {
            const int p = row["participant"].toInt();
            QCOMPARE(row["corrected"].toBool(), p != 5);
        }
    }

    void escapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("quotes and backslash") << "\"a\\b\"" << QByteArray("\"\\\"a\\\\b\\\"\"");
        QTest::newRow("control characters") << QStringLiteral("a\nb\tc\x01") << QByteArray("\"a\\nb\\tc\\u0001\"");
        QTest::newRow("script end") << "</script>" << QByteArray("\"\\u003c/script\\u003e\"");
        QTest::newRow("ampersand") << "A&B" << QByteArray("\"A\\u0026B\"");
        QTest::newRow("umlauts as UTF-8") << "Müller Weiß" << QByteArray("\"M\xC3\xBCller Wei\xC3\x9F\"");
        QTest::newRow("three bytes") << "5 €" << QByteArray("\"5 \xE2\x82\xAC\"");
        QTest::newRow("outside the basic plane") << "🏁" << QByteArray("\"\xF0\x9F\x8F\x81\"");
        QTest::newRow("line separator") << QStringLiteral("a\u2028b") << QByteArray("\"a\\u2028b\"");
    }

    void escapes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        ResultsSnapshot results;
        results.title = text;
        const QByteArray json = StandingsJson::of(results, {});
        QVERIFY2(json.contains(",\"title\":" + written + ",\"type\":"), json.constData());
        QCOMPARE(parsed(json)["title"].toString(), text);
    }

    void page_data() { moments_data(); }
    void page()
    {
        QFETCH(int, moment);
        QFETCH(QString, remaining);
        QFETCH(bool, gong);
        QFETCH(QList<int>, finished);
        QFETCH(QList<int>, out);
        const ResultsSnapshot results = race(moment);
        const QByteArray page = LivePage::of(results, Date);
        QVERIFY(page.startsWith("<!DOCTYPE html>"));
        QVERIFY(page.contains("<meta charset=\"utf-8\">"));
        QVERIFY(page.contains("<meta name=\"viewport\""));
        QVERIFY(!page.contains("src=") && !page.contains("http") && !page.contains("innerHTML"));
        QVERIFY(page.contains("new EventSource('/events')") && page.contains("fetch('/standings.json'"));
        QVERIFY(page.contains("<h1 id=\"title\">" + html(Title) + "</h1>"));
        QVERIFY(page.contains("<span id=\"date\">" + Date.toUtf8() + "</span>"));
        QVERIFY(page.contains("<span id=\"remaining\">" + remaining.toUtf8() + "</span>"));
        QCOMPARE(page.contains("<span id=\"gong\">"), gong);
        // The title's "</script>" closes nothing: the page's two scripts are the only ones.
        QCOMPARE(page.count("</script"), 2);
        QCOMPARE(page.count("<script"), 2);
        QVERIFY(page.contains("<script id=\"standings-data\" type=\"application/json\">" + StandingsJson::of(results, Date)
                              + "</script>"));

        const qsizetype body = page.indexOf("<tbody>");
        QVERIFY(page.indexOf("<table id=\"standings\">") < body && body > 0);
        QCOMPARE(page.count("<tr"), qsizetype(results.rows.size()) + 1);
        QCOMPARE(page.count("<tr class=\"finished\">"), qsizetype(finished.size()));
        QCOMPARE(page.count("<tr class=\"out\">"), qsizetype(out.size()));
        for (const QStringList &starter : Starters) {
            QVERIFY2(page.contains("<td>" + html(starter[1]) + "</td>"), qPrintable(starter[1]));
            if (starter[1].contains(QRegularExpression(QStringLiteral("[<>\"'&]"))))
                QVERIFY2(!page.contains(starter[1].toUtf8()), qPrintable(starter[1]));
        }
        for (const ResultsSnapshot::Row &row : results.rows)
            QVERIFY(page.contains(html(row.cells[StandingsGrid::Place]) + "</td><td>" + html(row.cells[StandingsGrid::Number])));
    }

    // The rows a correction changed carry the "korrigiert" mark, whatever other marks they have.
    void correctedMark_data()
    {
        QTest::addColumn<bool>("corrected");
        QTest::addColumn<int>("markedRows");
        QTest::newRow("no corrections") << false << 0;
        QTest::newRow("three corrections, four of five touched") << true << 4;
    }

    void correctedMark()
    {
        QFETCH(bool, corrected);
        QFETCH(int, markedRows);
        CorrectedRace race;
        ResultsSnapshot results = corrected ? race.after() : race.before();
        const QByteArray page = LivePage::of(results, Date);
        const QByteArray rows = page.mid(page.indexOf("<tbody>"), page.indexOf("</tbody>") - page.indexOf("<tbody>"));
        QCOMPARE(rows.count("corrected"), markedRows);
        for (const ResultsSnapshot::Row &row : results.rows) {
            const QByteArray start = row.corrected ? "<tr class=\"corrected\"><td>" : "<tr><td>";
            QVERIFY2(rows.contains(start + html(row.cells[StandingsGrid::Place]) + "</td><td>"
                                   + html(row.cells[StandingsGrid::Number]) + "</td><td>" + html(row.cells[StandingsGrid::Name])),
                     qPrintable(QString::number(row.participant)));
        }
        // The script marks the rows it draws the same way, and the style shows the mark.
        QVERIFY(page.contains("if (row.corrected) tr.classList.add('corrected');"));
        QVERIFY(page.contains("tr.corrected td:nth-child(3)::after{content:\"korrigiert\""));
    }

    // The script redraws the page from the standings it is given: the embedded ones are
    // swapped for later ones, and the browser must show those, names as text, counting down.
    void scriptRendersInABrowser()
    {
        const QString chromium = QStringLiteral("/usr/bin/chromium");
        if (!QFile::exists(chromium))
            QSKIP("Chromium is not installed (Debian package chromium)");
        const ResultsSnapshot served = race(Idle);
        ResultsSnapshot later = race(Stopped);
        later.state = SessionState::Running;
        later.remainingSeconds = 360005;
        later.title = QStringLiteral("Später <i>da</i>");
        later.rows[1].cells[StandingsGrid::Name] = QStringLiteral("<i>Neu</i>");
        QByteArray page = LivePage::of(served, Date);
        page.replace(StandingsJson::of(served, Date), StandingsJson::of(later, QStringLiteral("09.12.26")));

        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("live.html")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(page) == page.size());
        file.close();
        QProcess browser;
        browser.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                                 QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
                                 QStringLiteral("--user-data-dir=") + dir.filePath(QStringLiteral("profile")),
                                 QStringLiteral("--dump-dom"), QUrl::fromLocalFile(file.fileName()).toString()});
        QVERIFY(browser.waitForFinished(120000));
        const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
        QVERIFY2(dom.contains(QStringLiteral("<tbody>")), qPrintable(QString::fromUtf8(browser.readAllStandardError())));
        QVERIFY(dom.contains(QStringLiteral("<h1 id=\"title\">Später &lt;i&gt;da&lt;/i&gt;</h1>")));
        QVERIFY(dom.contains(QStringLiteral("<span id=\"date\">09.12.26</span>")));
        QVERIFY(dom.contains(QStringLiteral("<td>&lt;i&gt;Neu&lt;/i&gt;</td>")));
        QVERIFY(!dom.contains(QStringLiteral("<i>")));
        QVERIFY(dom.contains(QStringLiteral("<tr class=\"out\">")));
        QCOMPARE(dom.count(QStringLiteral("<tr class=\"finished\">")), 2);
        QVERIFY(dom.contains(QStringLiteral("<span id=\"remaining\">100:00:05</span>"))
                || dom.contains(QStringLiteral("<span id=\"remaining\">100:00:04</span>")));
    }
};

QTEST_GUILESS_MAIN(TestLivePages)
#include "testlivepages.moc"
