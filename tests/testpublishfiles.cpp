#include "CorrectedRace.h"

#include "core/ResultsDate.h"
#include "live/PublicPage.h"
#include "live/PublishFiles.h"
#include "live/StandingsJson.h"
#include "results/HtmlProtocol.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

const QByteArray Logo("\xFF\xD8\xFF\xE0 not really a picture \xFF\xD9", 27);
const QLocale German(QLocale::German, QLocale::Germany);
const QDateTime At(QDate(2026, 12, 8), QTime(14, 3, 5));

QStringList namesOf(const std::vector<PublishFile> &files)
{
    QStringList names;
    for (const PublishFile &file : files)
        names << file.name;
    return names;
}

QByteArray contentOf(const std::vector<PublishFile> &files, const QString &name)
{
    for (const PublishFile &file : files)
        if (file.name == name)
            return file.content;
    return {};
}

} // namespace

// What goes to the web host with each upload.
class TestPublishFiles : public QObject
{
    Q_OBJECT

private slots:
    // The logo goes up until one upload went through, and again when asked.
    void logoOnlyUntilDelivered_data()
    {
        QTest::addColumn<QString>("steps"); // m: make a set, d: delivered, r: resend; one letter each
        QTest::addColumn<QList<bool>>("withLogo"); // per made set
        QTest::newRow("first set only") << "mdmm" << QList<bool>{true, false, false};
        QTest::newRow("until one went through") << "mmmdm" << QList<bool>{true, true, true, false};
        QTest::newRow("again for a new target") << "mdmrmdm" << QList<bool>{true, false, true, false};
        QTest::newRow("asked again before anything went up") << "rmdm" << QList<bool>{true, false};
    }

    void logoOnlyUntilDelivered()
    {
        QFETCH(QString, steps);
        QFETCH(QList<bool>, withLogo);
        PublishFiles files(QStringLiteral("https://verein.example/"), Logo, German);
        const ResultsSnapshot results = CorrectedRace().before();
        QList<bool> made;
        for (const QChar step : steps) {
            if (step == u'm')
                made << namesOf(files.make(results, At)).contains(QStringLiteral("Logo.jpg"));
            else if (step == u'd')
                files.delivered();
            else
                files.resendLogo();
        }
        QCOMPARE(made, withLogo);
    }

    // The standings go up every time; the pages when they never arrived, after five
    // minutes, and when the session started or ended since.
    void pagesNowAndThen_data()
    {
        QTest::addColumn<QString>("steps"); // m<seconds>: a set made then, e: the session ended, d: delivered, r: resend
        QTest::addColumn<QList<bool>>("withPages");
        QTest::newRow("until they arrived") << "m0 m10 d m20 m30" << QList<bool>{true, true, false, false};
        QTest::newRow("after five minutes") << "m0 d m299 m300 d m310" << QList<bool>{true, false, true, false};
        QTest::newRow("a set without pages delivers none") << "m0 d m10 d m20 m300" << QList<bool>{true, false, false, true};
        QTest::newRow("the end goes up at once") << "m0 d m10 e m20 d m30" << QList<bool>{true, false, true, false};
        QTest::newRow("a new target gets them") << "m0 d r m10" << QList<bool>{true, true};
    }

    void pagesNowAndThen()
    {
        QFETCH(QString, steps);
        QFETCH(QList<bool>, withPages);
        PublishFiles files(QString(), Logo, German);
        ResultsSnapshot results = CorrectedRace().before();
        results.state = SessionState::Running;
        QList<bool> made;
        for (const QString &step : steps.split(u' ')) {
            if (step.startsWith(u'm'))
                made << namesOf(files.make(results, At.addSecs(step.mid(1).toInt()))).contains(QStringLiteral("index.html"));
            else if (step == u"e")
                results.state = SessionState::Ended;
            else if (step == u"d")
                files.delivered();
            else
                files.resendLogo();
        }
        QCOMPARE(made, withPages);
    }

    // Each file as its own maker writes it, for the same results and day.
    void theSet()
    {
        CorrectedRace race;
        const ResultsSnapshot results = race.after();
        PublishFiles files(QStringLiteral("https://verein.example/"), Logo, German);
        const std::vector<PublishFile> set = files.make(results, At);
        QCOMPARE(namesOf(set), (QStringList{"standings.json", "index.html", "ergebnis.html", "Logo.jpg"}));
        const QString date = ResultsDate(At.date(), German);
        QCOMPARE(date, QStringLiteral("08.12.2026"));
        // The same document as the LAN server's /standings.json, lap times and all.
        QCOMPARE(contentOf(set, "standings.json"), StandingsJson::of(results, date));
        QCOMPARE(contentOf(set, "index.html"), PublicPage::of(results, date, At));
        // The results page as "Als Webseite" writes it, the logo beside it under its name.
        const HtmlProtocol::Page page{.date = date, .webAddress = QStringLiteral("https://verein.example/"),
                                      .webLinkText = QStringLiteral("Zeitkontor")};
        QCOMPARE(contentOf(set, "ergebnis.html"), HtmlProtocol::Build(page, results));
        QVERIFY(contentOf(set, "ergebnis.html").contains("<img src=\"Logo.jpg\""));
        QCOMPARE(contentOf(set, "Logo.jpg"), Logo);
    }

    // Without a logo file there is nothing to send, ever.
    void noLogo()
    {
        PublishFiles files(QString(), QByteArray(), German);
        QVERIFY(!files.logoPending());
        QCOMPARE(namesOf(files.make(CorrectedRace().before(), At)), (QStringList{"standings.json", "index.html", "ergebnis.html"}));
    }

    // The maker handed to the uploader shares the state: a delivery seen by the program
    // keeps the logo out of what the maker makes next.
    void makerSharesTheState()
    {
        auto files = std::make_shared<PublishFiles>(QString(), Logo, German);
        const PublishService::FileMaker maker = PublishFiles::maker(files);
        const auto results = std::make_shared<const ResultsSnapshot>(CorrectedRace().before());
        QCOMPARE(maker(results).size(), std::size_t(4));
        files->delivered();
        // Neither the logo nor, so soon, the pages again.
        const std::vector<PublishFile> next = maker(results);
        QCOMPARE(namesOf(next), QStringList{"standings.json"});
        // Made now: today's date in the standings.
        QVERIFY(contentOf(next, "standings.json").contains(ResultsDate(QDate::currentDate(), German).toUtf8()));
    }

    // What every viewer's page fetches every five seconds: the standings.json of twenty
    // participants four hours in, the leader at 160 laps. The README's traffic figures
    // come from here; the range keeps them honest.
    void standingsOfALongRace()
    {
        RaceDriver d;
        d.send(RaceInput::Kind::CarCountChanged, 20);
        d.start();
        // Laps of about 88 s, each pass up to 3 s off at random (seeded: the same race every run).
        QRandomGenerator random(20261208);
        for (int lap = 1; lap <= 160; ++lap)
            for (int p = 1; p <= 20; ++p)
                d.book(p, lap * 88000 + p * 4000 + random.bounded(3000));
        const ResultsSnapshot results = ResultsSnapshot::of(d.core);
        QCOMPARE(results.leaderLaps, 160);
        const qsizetype json = StandingsJson::of(results, QStringLiteral("08.12.2026")).size();
        PublishFiles files(QStringLiteral("https://www.chronolauf.example/"), Logo, German);
        const std::vector<PublishFile> set = files.make(results, At);
        // Deflated as a host that compresses its answers would send it (qCompress adds 4 bytes).
        const qsizetype deflated = qCompress(StandingsJson::of(results, QStringLiteral("08.12.2026")), 9).size() - 4;
        qInfo("standings.json %lld bytes (%lld deflated), index.html %lld bytes, ergebnis.html %lld bytes", qlonglong(json),
              qlonglong(deflated), qlonglong(contentOf(set, "index.html").size()), qlonglong(contentOf(set, "ergebnis.html").size()));
        QVERIFY(json > 15000 && json < 60000);
    }
};

QTEST_GUILESS_MAIN(TestPublishFiles)
#include "testpublishfiles.moc"
