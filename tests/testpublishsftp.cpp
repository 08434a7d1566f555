#include "PublishRace.h"
#include "SshServer.h"
#include "publish/PublishTarget.h"

#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <thread>

// Publishing by SFTP to OpenSSH's sshd on the loopback: files in place under their names,
// refusals named, a server that goes away and comes back, and no reader ever seeing half a file.
class TestPublishSftp : public QObject
{
    Q_OBJECT

    std::unique_ptr<SshServer> server;

    PublishTarget target() const { return std::get<PublishTarget>(PublishTarget::parse(server->url(), false)); }
    PublishCredentials credentials(const QString &key = QStringLiteral("user"), const QString &hosts = QStringLiteral("known_hosts")) const
    {
        PublishCredentials credentials;
        credentials.keyFile = server->path(key);
        credentials.knownHostsFile = server->path(hosts);
        return credentials;
    }

private slots:
    void init()
    {
        if (!SshServer::available())
            QSKIP("OpenSSH's sshd is not installed");
        server = std::make_unique<SshServer>();
        QVERIFY(server->start());
    }
    void cleanup() { server.reset(); }

    void upload_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("size");
        QTest::newRow("one small file") << 1 << 100;
        QTest::newRow("three files") << 3 << 20000;
        QTest::newRow("a large file") << 1 << 3 * 1024 * 1024;
        QTest::newRow("an empty file") << 1 << 0;
    }
    void upload()
    {
        QFETCH(int, count);
        QFETCH(int, size);
        PublishRace race;
        std::vector<PublishFile> files;
        for (int i = 0; i < count; ++i)
            files.push_back({QStringLiteral("datei %1.html").arg(i), QByteArray(size, char('A' + i))});
        PublishService service(race.session, [&files](const auto &) { return files; });
        QSignalSpy published(&service, &PublishService::published);
        QSignalSpy failed(&service, &PublishService::failed);
        QSignalSpy sent(&service, &PublishService::bytesSent);
        service.start(target(), credentials(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(published.size() + failed.size(), 1, 20000);
        QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed.first().first().toString()));
        QStringList names;
        for (const PublishFile &file : files) {
            names << file.name;
            QCOMPARE(PublishRace::read(server->remote() + file.name), file.content);
        }
        // Under their own names only: no temporary file is left.
        QCOMPARE(PublishRace::files(server->remote()), names);
        if (size > 0)
            QTRY_COMPARE(sent.last().first().toLongLong(), qint64(count) * size);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("hosts");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown host key") << "user" << "unknown_hosts" << "Unbekannter Server-Schlüssel: 127.0.0.1";
        QTest::newRow("no known_hosts file") << "user" << "missing_hosts" << "Unbekannter Server-Schlüssel: 127.0.0.1";
        QTest::newRow("changed host key") << "user" << "changed_hosts" << "Server-Schlüssel hat sich geändert: 127.0.0.1";
        QTest::newRow("key not authorised") << "stranger" << "known_hosts" << "Anmeldung abgelehnt";
        QTest::newRow("key file missing") << "nokey" << "known_hosts" << "Schlüsseldatei nicht lesbar: %1";
    }
    void refused()
    {
        QFETCH(QString, key);
        QFETCH(QString, hosts);
        QFETCH(QString, reason);
        PublishRace race;
        PublishService service(race.session, race.maker());
        QSignalSpy published(&service, &PublishService::published);
        QSignalSpy failed(&service, &PublishService::failed);
        service.start(target(), credentials(key, hosts), 2);
        QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), 20000);
        QCOMPARE(failed.first().at(0).toString(), reason.contains(QLatin1String("%1")) ? reason.arg(server->path(key)) : reason);
        QCOMPARE(failed.first().at(1).toInt(), 1);
        // Tried again with a pause, counted in a row; nothing ever arrives.
        QTRY_VERIFY_WITH_TIMEOUT(failed.size() >= 2, 5000);
        QCOMPARE(failed.at(1).at(1).toInt(), 2);
        QVERIFY(published.isEmpty());
        QVERIFY(PublishRace::files(server->remote()).isEmpty());
    }

    // The server goes away mid-race (its connections too) and comes back: the uploads resume
    // with the newest standings.
    void serverRestarted()
    {
        PublishRace race;
        PublishService service(race.session, race.maker());
        QSignalSpy published(&service, &PublishService::published);
        QSignalSpy failed(&service, &PublishService::failed);
        const QString standings = server->remote() + QStringLiteral("standings.txt");
        service.start(target(), credentials(), 2);
        race.book();
        QTRY_COMPARE_WITH_TIMEOUT(PublishRace::read(standings), PublishRace::content(1, 64), 20000);

        server->stop();
        race.book(2);
        QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), 20000);
        QVERIFY2(failed.last().at(0).toString().startsWith(QLatin1String("Server nicht erreichbar: 127.0.0.1"))
                     || failed.last().at(0).toString().startsWith(QLatin1String("Verbindung zu 127.0.0.1 abgebrochen")),
                 qPrintable(failed.last().at(0).toString()));
        race.book(3);
        QVERIFY(server->start());
        QTRY_COMPARE_WITH_TIMEOUT(PublishRace::read(standings), PublishRace::content(3, 64), 20000);
        QCOMPARE(PublishRace::files(server->remote()), QStringList{QStringLiteral("standings.txt")});
    }

    // While the host is away, each new standings replace the ones not sent: when it is back,
    // one upload carries the newest and nothing older follows.
    void newestReplacesUnsent()
    {
        server->stop();
        PublishRace race;
        PublishService service(race.session, race.maker());
        QSignalSpy published(&service, &PublishService::published);
        QSignalSpy failed(&service, &PublishService::failed);
        service.start(target(), credentials(), 2);
        for (int lap = 1; lap <= 3; ++lap) {
            race.book(lap);
            const int made = race.made;
            QTRY_VERIFY_WITH_TIMEOUT(race.made > made, 5000);
        }
        QVERIFY(!failed.isEmpty());
        QVERIFY(published.isEmpty());
        QVERIFY(server->start());
        QTRY_COMPARE_WITH_TIMEOUT(published.size(), 1, 20000);
        QCOMPARE(PublishRace::read(server->remote() + QStringLiteral("standings.txt")), PublishRace::content(3, 64));
        const int madeWhenPublished = race.made;
        QTest::qWait(2500); // a tick with nothing changed sends nothing, and makes nothing
        QCOMPARE(published.size(), 1);
        QCOMPARE(race.made.load(), madeWhenPublished);
    }

    // A reader polling the remote folder (here a local one) during many uploads of a large
    // file sees the file missing for a moment at most, never incomplete.
    void readerNeverSeesHalfFile()
    {
        constexpr qsizetype Size = 2 * 1024 * 1024;
        PublishRace race;
        PublishService service(race.session, race.maker(Size));
        QSignalSpy published(&service, &PublishService::published);
        const QString standings = server->remote() + QStringLiteral("standings.txt");
        std::atomic<bool> done{false};
        std::atomic<int> reads{0};
        std::atomic<int> torn{0};
        std::thread reader([&] {
            while (!done) {
                const QByteArray seen = PublishRace::read(standings);
                if (seen.isEmpty())
                    continue;
                ++reads;
                const int laps = seen.mid(5, seen.indexOf('\n') - 5).toInt();
                if (seen != PublishRace::content(laps, Size))
                    ++torn;
            }
        });
        service.start(target(), credentials(), 2);
        for (int upload = 1; upload <= 4; ++upload) {
            race.book(upload % 4 + 1);
            QTRY_VERIFY_WITH_TIMEOUT(published.size() > upload, 20000);
        }
        done = true;
        reader.join();
        QVERIFY(reads > 0);
        QCOMPARE(torn.load(), 0);
        QCOMPARE(PublishRace::read(standings), PublishRace::content(4, Size));
    }
};

QTEST_GUILESS_MAIN(TestPublishSftp)
#include "testpublishsftp.moc"
