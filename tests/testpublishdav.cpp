#include "DavServer.h"
#include "PublishRace.h"
#include "publish/PublishTarget.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

// Publishing by WebDAV to nginx over TLS on the loopback (PUT, then MOVE into place), and to a
// host that takes the connection and then says nothing.
class TestPublishDav : public QObject
{
    Q_OBJECT

    static PublishTarget target(const QString &url) { return std::get<PublishTarget>(PublishTarget::parse(url, false)); }

private slots:
    void upload_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("rounds");
        QTest::newRow("page and standings") << QStringList{"index.html", "standings.json"} << 30000 << 1;
        QTest::newRow("replaced three times") << QStringList{"index.html"} << 1000 << 3;
        QTest::newRow("name with a space") << QStringList{"Ergebnis Lauf.html"} << 10 << 1;
    }
    void upload()
    {
        if (!DavServer::available())
            QSKIP("nginx is not installed");
        QFETCH(QStringList, names);
        QFETCH(int, size);
        QFETCH(int, rounds);
        DavServer server;
        QVERIFY(server.start());
        PublishRace race;
        PublishService service(race.session, [&](const std::shared_ptr<const ResultsSnapshot> &results) {
            std::vector<PublishFile> files;
            for (const QString &name : names)
                files.push_back({name, PublishRace::content(PublishRace::lapsOf(*results), size)});
            return files;
        });
        QSignalSpy published(&service, &PublishService::published);
        QSignalSpy failed(&service, &PublishService::failed);
        PublishCredentials credentials;
        credentials.caFile = server.certificate();
        service.start(target(server.url()), credentials, 2);
        for (int round = 0; round < rounds; ++round) {
            if (round > 0)
                race.book();
            QTRY_COMPARE_WITH_TIMEOUT(published.size() + failed.size(), round + 1, 20000);
            QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed.first().first().toString()));
            for (const QString &name : names)
                QCOMPARE(PublishRace::read(server.remote() + name), PublishRace::content(round, size));
        }
        // Moved into place: no temporary name is left.
        QStringList sorted = names;
        sorted.sort();
        QCOMPARE(PublishRace::files(server.remote()), sorted);
    }

    // Without the host's own authority the system's store does not know the certificate.
    void untrustedCertificate()
    {
        if (!DavServer::available())
            QSKIP("nginx is not installed");
        DavServer server;
        QVERIFY(server.start());
        PublishRace race;
        PublishService service(race.session, race.maker());
        QSignalSpy failed(&service, &PublishService::failed);
        service.start(target(server.url()), {}, 2);
        QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), 20000);
        QCOMPARE(failed.first().at(0).toString(), QStringLiteral("Zertifikat des Servers nicht vertrauenswürdig: 127.0.0.1"));
        QVERIFY(PublishRace::files(server.remote()).isEmpty());
    }

    void closedPort()
    {
        PublishRace race;
        PublishService service(race.session, race.maker());
        QSignalSpy failed(&service, &PublishService::failed);
        service.start(target(QStringLiteral("https://127.0.0.1:%1/dav/").arg(ServerProcess::freePort())), {}, 2);
        QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), 5000);
        QCOMPARE(failed.first().at(0).toString(), QStringLiteral("Server nicht erreichbar: 127.0.0.1"));
    }

    // A host that accepts the connection and never answers is cut after the transfer timeout.
    void silentHostCut()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        PublishRace race;
        PublishService service(race.session, race.maker());
        QSignalSpy failed(&service, &PublishService::failed);
        QElapsedTimer clock;
        clock.start();
        service.start(target(QStringLiteral("https://127.0.0.1:%1/dav/").arg(silent.serverPort())), {}, 2);
        QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), (PublishService::TransferTimeoutSeconds + 15) * 1000);
        QVERIFY(clock.elapsed() >= (PublishService::TransferTimeoutSeconds - 1) * 1000);
        QCOMPARE(failed.first().at(0).toString(), QStringLiteral("Zeitüberschreitung: 127.0.0.1 antwortet nicht"));
        QVERIFY(silent.hasPendingConnections() || silent.isListening());
    }

    // Leaving the program mid-transfer does not wait for the network.
    void destroyedWhileStalled()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        PublishRace race;
        auto service = std::make_unique<PublishService>(race.session, race.maker());
        service->start(target(QStringLiteral("https://127.0.0.1:%1/dav/").arg(silent.serverPort())), {}, 2);
        QTest::qWait(1500);
        QElapsedTimer clock;
        clock.start();
        service.reset();
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestPublishDav)
#include "testpublishdav.moc"
