#include "core/ResultsSnapshot.h"
#include "core/TickSource.h"
#include "live/LiveServer.h"
#include "live/LiveService.h"
#include "session/RaceSession.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

namespace {

std::shared_ptr<const ResultsSnapshot> standings(const QString &title)
{
    auto results = std::make_shared<ResultsSnapshot>();
    results->title = title;
    results->sessionType = QStringLiteral("Rennen");
    results->rows.push_back({.participant = 1, .cells = {}, .lapTimes = {61000, 60500}});
    results->rows.back().cells[StandingsGrid::Name] = QStringLiteral("Müller & Söhne");
    return results;
}

// A client socket connected to the server, with the event loop running while it waits; from
// another loopback address (127.0.0.2, ...) it counts as another device.
std::unique_ptr<QTcpSocket> connectTo(const LiveServer &server, const QHostAddress &from = QHostAddress::LocalHost)
{
    auto socket = std::make_unique<QTcpSocket>();
    if (!socket->bind(from))
        return nullptr;
    socket->connectToHost(QHostAddress::LocalHost, server.port());
    if (!QTest::qWaitFor([&] { return socket->state() == QAbstractSocket::ConnectedState; }, 5000))
        return nullptr;
    return socket;
}

// Everything the server sends until it closes the connection.
QByteArray exchange(const LiveServer &server, const QByteArray &request, const QHostAddress &from = QHostAddress::LocalHost)
{
    auto socket = connectTo(server, from);
    if (!socket)
        return "no connection";
    socket->write(request);
    QByteArray reply;
    const bool closed = QTest::qWaitFor([&] {
        reply += socket->readAll();
        return socket->state() == QAbstractSocket::UnconnectedState;
    }, 5000);
    if (!closed)
        return "still open: " + reply.left(100);
    return reply + socket->readAll();
}

int statusOf(const QByteArray &reply)
{
    return reply.startsWith("HTTP/1.1 ") ? reply.mid(9, 3).toInt() : 0;
}

QByteArray headerOf(const QByteArray &reply, const QByteArray &name)
{
    const qsizetype start = reply.indexOf("\r\n" + name + ": ");
    if (start < 0 || start > reply.indexOf("\r\n\r\n"))
        return {};
    const qsizetype value = start + name.size() + 4;
    return reply.mid(value, reply.indexOf("\r\n", value) - value);
}

// The texts of a page's elements of one kind, e.g. "<script>" (a data block has attributes).
QByteArrayList elementTexts(const QByteArray &page, const QByteArray &open, const QByteArray &close)
{
    QByteArrayList texts;
    for (qsizetype at = page.indexOf(open); at >= 0; at = page.indexOf(open, at)) {
        at += open.size();
        texts << page.mid(at, page.indexOf(close, at) - at);
    }
    return texts;
}

QByteArray hashSource(const QByteArray &text)
{
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() + '\'';
}

QHostAddress loopback(int n)
{
    return QHostAddress(QStringLiteral("127.0.0.%1").arg(n));
}

QByteArray bodyOf(const QByteArray &reply)
{
    const qsizetype end = reply.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : reply.mid(end + 4);
}

// The data of the latest complete server-sent event in what a stream delivered.
QByteArray lastEvent(const QByteArray &stream)
{
    const qsizetype end = stream.lastIndexOf("\n\n");
    const qsizetype start = stream.lastIndexOf("data: ", end);
    return start < 0 || end < 0 ? QByteArray() : stream.mid(start + 6, end - start - 6);
}

} // namespace

class TestLiveServer : public QObject
{
    Q_OBJECT

    static LiveServer::Limits smallLimits()
    {
        LiveServer::Limits limits;
        limits.maxClients = 64;
        limits.connection.idleMs = 400;
        limits.connection.maxQueuedBytes = 256 * 1024;
        return limits;
    }

private slots:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<bool>("hasBody");

        const QByteArray html = "text/html; charset=utf-8";
        const QByteArray json = "application/json; charset=utf-8";
        const QByteArray text = "text/plain; charset=utf-8";
        QTest::newRow("page") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n") << 200 << html << true;
        QTest::newRow("page, HTTP/1.0, bare LF") << QByteArray("GET / HTTP/1.0\n\n") << 200 << html << true;
        QTest::newRow("page with a query") << QByteArray("GET /?t=1 HTTP/1.1\r\n\r\n") << 200 << html << true;
        QTest::newRow("standings") << QByteArray("GET /standings.json HTTP/1.1\r\n\r\n") << 200 << json << true;
        QTest::newRow("HEAD page") << QByteArray("HEAD / HTTP/1.1\r\n\r\n") << 200 << html << false;
        QTest::newRow("HEAD events") << QByteArray("HEAD /events HTTP/1.1\r\n\r\n") << 200
                                     << QByteArray("text/event-stream; charset=utf-8") << false;
        QTest::newRow("unknown path") << QByteArray("GET /favicon.ico HTTP/1.1\r\n\r\n") << 404 << text << true;
        QTest::newRow("path out of the tree") << QByteArray("GET /../../etc/passwd HTTP/1.1\r\n\r\n") << 404 << text << true;
        QTest::newRow("encoded path") << QByteArray("GET /%2e%2e/etc/passwd HTTP/1.1\r\n\r\n") << 404 << text << true;
        QTest::newRow("POST") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\nab") << 405 << text << true;
        QTest::newRow("DELETE") << QByteArray("DELETE /standings.json HTTP/1.1\r\n\r\n") << 405 << text << true;
        QTest::newRow("absolute target") << QByteArray("GET http://x/ HTTP/1.1\r\n\r\n") << 400 << text << true;
        QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << 400 << text << true;
        QTest::newRow("HTTP/2") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 505 << text << true;
        QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n") << 400 << text << true;
        QTest::newRow("binary") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\n\n", 13) << 400 << text << true;
        QTest::newRow("header of 8 KiB") << "GET / HTTP/1.1\r\nX: " + QByteArray(8100, 'a') + "\r\n\r\n" << 200 << html << true;
        QTest::newRow("header over 8 KiB") << "GET / HTTP/1.1\r\nX: " + QByteArray(8300, 'a') + "\r\n\r\n" << 431 << text << true;
        QTest::newRow("endless header") << "GET / HTTP/1.1\r\nX: " + QByteArray(100000, 'a') << 431 << text << true;
    }

    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QByteArray, contentType);
        QFETCH(bool, hasBody);

        LiveServer server(smallLimits());
        QVERIFY(server.listen(0, QHostAddress::LocalHost));
        server.publish(standings(QStringLiteral("24 h <Lauf>")));
        const QByteArray reply = exchange(server, request);
        QCOMPARE(statusOf(reply), status);
        QVERIFY2(reply.contains("\r\nContent-Type: " + contentType + "\r\n"), reply.left(400).constData());
        QVERIFY(reply.contains("\r\nX-Content-Type-Options: nosniff\r\n"));
        if (status == 405)
            QVERIFY(reply.contains("\r\nAllow: GET, HEAD\r\n"));
        const QByteArray body = bodyOf(reply);
        QCOMPARE(!body.isEmpty(), hasBody);
        if (hasBody && status == 200 && contentType.startsWith("application/json")) {
            const QJsonObject object = QJsonDocument::fromJson(body).object();
            QCOMPARE(object.value(QStringLiteral("title")).toString(), QStringLiteral("24 h <Lauf>"));
        }
        // Every answer allows nothing inline but the page's own script and style.
        const QByteArray policy = headerOf(reply, "Content-Security-Policy");
        QVERIFY2(policy.startsWith("default-src 'none'; "), policy.constData());
        QVERIFY(!policy.contains("unsafe"));
        QVERIFY(policy.contains("; connect-src 'self'"));
        if (hasBody && status == 200 && contentType.startsWith("text/html")) {
            QVERIFY(body.contains("24 h &lt;Lauf&gt;"));
            QVERIFY(!body.contains("<Lauf>"));
            const QByteArrayList scripts = elementTexts(body, "<script>", "</script>");
            const QByteArrayList styles = elementTexts(body, "<style>", "</style>");
            QCOMPARE(scripts.size(), 1);
            QCOMPARE(styles.size(), 1);
            QVERIFY2(policy.contains("script-src " + hashSource(scripts[0]) + ';'), policy.constData());
            QVERIFY2(policy.contains("style-src " + hashSource(styles[0]) + ';'), policy.constData());
        }
        QTRY_COMPARE(server.clientCount(), 0);
    }

    void eventsFollowEveryChange()
    {
        LiveServer server(smallLimits());
        QVERIFY(server.listen(0, QHostAddress::LocalHost));
        server.publish(standings(QStringLiteral("Erster")));
        auto socket = connectTo(server);
        QVERIFY(socket);
        socket->write("GET /events HTTP/1.1\r\nAccept: text/event-stream\r\n\r\n");
        QByteArray stream;
        const auto latestTitle = [&] {
            stream += socket->readAll();
            return QJsonDocument::fromJson(lastEvent(stream)).object().value(QStringLiteral("title")).toString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(latestTitle(), QStringLiteral("Erster"), 1000);
        QVERIFY(stream.startsWith("HTTP/1.1 200 OK\r\n"));
        // Events carry what the page shows; the lap times are in /standings.json only.
        QVERIFY(!lastEvent(stream).contains("\"laps\""));
        QVERIFY(bodyOf(exchange(server, "GET /standings.json HTTP/1.1\r\n\r\n")).contains("\"laps\":[61000,60500]"));
        QVERIFY(stream.contains("Content-Type: text/event-stream"));
        server.publish(standings(QStringLiteral("Zweiter")));
        QTRY_COMPARE_WITH_TIMEOUT(latestTitle(), QStringLiteral("Zweiter"), 1000);
        // A quiet change (a countdown the page counts by itself) is served, not pushed.
        server.publish(standings(QStringLiteral("Leise")), false);
        QVERIFY(bodyOf(exchange(server, "GET /standings.json HTTP/1.1\r\n\r\n")).contains("\"Leise\""));
        QCOMPARE(latestTitle(), QStringLiteral("Zweiter"));
        // A quiet stream is not an idle one: it stays open past the idle time.
        QTest::qWait(600);
        QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(server.clientCount(), 1);
    }

    void sixtyFourClientsAndNoMore()
    {
        LiveServer server(smallLimits());
        QVERIFY(server.listen(0, QHostAddress::LocalHost));
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        // Eight devices with eight streams each, the most one address may hold.
        for (int i = 0; i < 64; ++i) {
            clients.push_back(connectTo(server, loopback(1 + i / 8)));
            QVERIFY(clients.back());
            clients.back()->write("GET /events HTTP/1.1\r\n\r\n");
        }
        QTRY_COMPARE(server.clientCount(), 64);
        QCOMPARE(statusOf(exchange(server, "GET / HTTP/1.1\r\n\r\n", loopback(9))), 503);
        QCOMPARE(server.clientCount(), 64);
        // One leaves: the next is served again, and every stream still gets each change.
        clients.pop_back();
        QTRY_COMPARE(server.clientCount(), 63);
        QCOMPARE(statusOf(exchange(server, "GET /standings.json HTTP/1.1\r\n\r\n", loopback(9))), 200);
        server.publish(standings(QStringLiteral("Alle")));
        for (auto &client : clients) {
            QByteArray received;
            QTRY_VERIFY2((received += client->readAll()).contains("Alle"), received.constData());
        }
    }

    // One device cannot take every place: the ninth connection from its address is refused,
    // while another device still gets in.
    void clientsPerAddress_data()
    {
        QTest::addColumn<QHostAddress>("ninthFrom");
        QTest::addColumn<int>("status");
        QTest::newRow("ninth from the same address") << loopback(1) << 503;
        QTest::newRow("first from another address") << loopback(2) << 200;
    }

    void clientsPerAddress()
    {
        QFETCH(QHostAddress, ninthFrom);
        QFETCH(int, status);
        LiveServer server(smallLimits());
        QVERIFY(server.listen(0, QHostAddress::LocalHost));
        std::vector<std::unique_ptr<QTcpSocket>> streams;
        for (int i = 0; i < 8; ++i) {
            streams.push_back(connectTo(server, loopback(1)));
            QVERIFY(streams.back());
            streams.back()->write("GET /events HTTP/1.1\r\n\r\n");
        }
        QTRY_COMPARE(server.clientCount(), 8);
        const QByteArray reply = exchange(server, "GET / HTTP/1.1\r\n\r\n", ninthFrom);
        QCOMPARE(statusOf(reply), status);
        if (status == 503)
            QCOMPARE(headerOf(reply, "Retry-After"), QByteArray("5"));
        QTRY_COMPARE(server.clientCount(), 8);
        // A stream that ends frees its place for the same device.
        streams.pop_back();
        QTRY_COMPARE(server.clientCount(), 7);
        QCOMPARE(statusOf(exchange(server, "GET / HTTP/1.1\r\n\r\n", loopback(1))), 200);
    }

    void stalledClientsAreDropped_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("readsEvents");
        QTest::addColumn<qint64>("maxQueuedBytes");
        const qint64 small = 256 * 1024;
        QTest::newRow("connects and says nothing") << QByteArray() << false << small;
        QTest::newRow("request cut in the middle") << QByteArray("GET /stand") << false << small;
        QTest::newRow("header without its end") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n") << false << small;
        QTest::newRow("stream that never reads") << QByteArray("GET /events HTTP/1.1\r\n\r\n") << true << small;
        // Room for every event: only the idle time, counted from the last bytes the client
        // took, can end it, and must do so while the events keep coming.
        QTest::newRow("stream that stalls, queue never full") << QByteArray("GET /events HTTP/1.1\r\n\r\n") << true
                                                               << (qint64(1) << 30);
    }

    void stalledClientsAreDropped()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, readsEvents);
        QFETCH(qint64, maxQueuedBytes);
        LiveServer::Limits limits = smallLimits();
        limits.connection.maxQueuedBytes = maxQueuedBytes;
        LiveServer server(limits);
        QVERIFY(server.listen(0, QHostAddress::LocalHost));
        auto stalled = connectTo(server);
        QVERIFY(stalled);
        // A phone gone from the network: nothing read, and a small window so the kernel's
        // buffers fill soon.
        stalled->setReadBufferSize(1);
        stalled->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        stalled->write(sent);
        QTRY_COMPARE(server.clientCount(), 1);
        if (readsEvents) {
            // Far more than the kernel buffers take, an event every 20 ms, for up to 10 s.
            auto big = std::make_shared<ResultsSnapshot>(*standings(QStringLiteral("Groß")));
            big->rows[0].cells[StandingsGrid::Name] = QString(200000, QLatin1Char('x'));
            for (int i = 0; i < 500 && server.clientCount() > 0; ++i) {
                server.publish(big);
                QTest::qWait(20);
            }
            QCOMPARE(server.clientCount(), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(server.clientCount(), 0, 3000);
        // The server answers others all the while.
        QCOMPARE(statusOf(exchange(server, "GET / HTTP/1.1\r\n\r\n")), 200);
    }

    void aClientLeavingMidRequestCostsNothing()
    {
        LiveServer server(smallLimits());
        QVERIFY(server.listen(0, QHostAddress::LocalHost));
        for (int i = 0; i < 20; ++i) {
            auto client = connectTo(server);
            QVERIFY(client);
            client->write(i % 2 ? "GET / HT" : "GET /events HTTP/1.1\r\n\r\n");
            client->flush();
            client->abort();
        }
        QTRY_COMPARE(server.clientCount(), 0);
        QCOMPARE(statusOf(exchange(server, "GET /standings.json HTTP/1.1\r\n\r\n")), 200);
    }

    // LiveBind: the service listens on the one address given, or refuses one that is not
    // this machine's in words the operator can act on.
    void serviceListensWhereItIsTold_data()
    {
        QTest::addColumn<QHostAddress>("bind");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("onOtherLoopback"); // reachable at 127.0.0.2 too
        QTest::newRow("every address") << QHostAddress(QHostAddress::Any) << QString() << true;
        QTest::newRow("the loopback only") << QHostAddress(QHostAddress::LocalHost) << QString() << false;
        QTest::newRow("not this machine's") << QHostAddress(QStringLiteral("192.0.2.7"))
                                            << QStringLiteral("LiveBind 192.0.2.7 ist keine Adresse dieses Rechners.") << false;
        QTest::newRow("not an address") << QHostAddress(QStringLiteral("live.local"))
                                        << QStringLiteral("LiveBind ist keine gültige IP-Adresse.") << false;
    }

    void serviceListensWhereItIsTold()
    {
        QFETCH(QHostAddress, bind);
        QFETCH(QString, error);
        QFETCH(bool, onOtherLoopback);
        RaceSession session(std::make_unique<ManualTickSource>(), QLocale(QLocale::German, QLocale::Germany));
        LiveService live(session);
        QSignalSpy started(&live, &LiveService::started);
        QSignalSpy failed(&live, &LiveService::failed);
        live.start(0, bind);
        QTRY_COMPARE(started.count() + failed.count(), 1);
        if (!error.isEmpty()) {
            QCOMPARE(failed.takeFirst().at(0).toString(), error);
            QVERIFY(!live.isRunning());
            return;
        }
        if (bind == QHostAddress::LocalHost)
            QCOMPARE(live.address(), QStringLiteral("http://127.0.0.1:%1/").arg(live.port()));
        const auto reachable = [&](const QHostAddress &address) {
            QTcpSocket socket;
            socket.connectToHost(address, live.port());
            return socket.waitForConnected(2000);
        };
        QVERIFY(reachable(QHostAddress::LocalHost));
        QCOMPARE(reachable(loopback(2)), onOtherLoopback);
    }
};

QTEST_GUILESS_MAIN(TestLiveServer)
#include "testliveserver.moc"
