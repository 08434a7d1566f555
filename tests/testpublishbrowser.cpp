#include "DavServer.h"
#include "HeadlessBrowser.h"
#include "PublishRace.h"
#include "ShownStandings.h"

#include "live/PublishFiles.h"
#include "publish/PublishService.h"
#include "publish/PublishTarget.h"

#include <QSignalSpy>
#include <QTest>

// The whole way to a viewer: the program's files uploaded to a WebDAV host on the loopback,
// and the public page read from there in a real browser, following the race by itself.
class TestPublishBrowser : public QObject
{
    Q_OBJECT

private slots:
    void pageFollowsTheRace()
    {
        if (!DavServer::available())
            QSKIP("nginx is not installed (Debian package nginx-light)");
        if (!HeadlessBrowser::available())
            QSKIP("Chromium is not installed (Debian package chromium)");
        DavServer server;
        QVERIFY(server.start());
        PublishRace race(4);
        race.book(1);
        race.book(2);

        auto files = std::make_shared<PublishFiles>(QString(), QByteArray(), QLocale(QLocale::German, QLocale::Germany));
        PublishService service(race.session, PublishFiles::maker(files));
        connect(&service, &PublishService::published, this, [&] { files->delivered(); });
        QSignalSpy published(&service, &PublishService::published);
        QSignalSpy failed(&service, &PublishService::failed);
        const auto target = PublishTarget::parse(server.url(), false);
        QVERIFY(std::holds_alternative<PublishTarget>(target));
        service.start(std::get<PublishTarget>(target), {.password = {}, .keyFile = {}, .knownHostsFile = {}, .caFile = server.certificate()}, PublishService::MinimumIntervalSeconds);
        QTRY_VERIFY_WITH_TIMEOUT(!published.isEmpty(), 20000);
        QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed.first().first().toString()));
        QVERIFY(QFile::exists(server.remote() + QStringLiteral("index.html")));
        QVERIFY(QFile::exists(server.remote() + QStringLiteral("ergebnis.html")));

        HeadlessBrowser browser({QStringLiteral("--ignore-certificate-errors")});
        QVERIFY(browser.open(server.url() + QStringLiteral("index.html")));
        const auto shown = [&] {
            QTest::qWait(50);
            return browser.evaluate(ShownRows);
        };
        const QString beforeBooking = rowsOf(*race.session.snapshot());
        QTRY_COMPARE_WITH_TIMEOUT(shown(), beforeBooking, 15000);

        // A booking: the next upload carries it, and the open page shows it within ten seconds.
        race.book(3);
        const QString afterBooking = rowsOf(*race.session.snapshot());
        QVERIFY(afterBooking != beforeBooking);
        QTRY_COMPARE_WITH_TIMEOUT(shown(), afterBooking, 10000);
    }
};

QTEST_GUILESS_MAIN(TestPublishBrowser)
#include "testpublishbrowser.moc"
