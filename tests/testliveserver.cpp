#include "core/ResultsSnapshot.h"
#include "live/LiveServer.h"

#include <QJsonDocument>
#include <QJsonObject>
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

// A client socket connected to the server, with the event loop running while it waits.
std::unique_ptr<QTcpSocket> connectTo(const LiveServer &server)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, server.port());
    if (!QTest::qWaitFor([&] { return socket->state() == QAbstractSocket::ConnectedState; }, 5000))
        return nullptr;
    return socket;
}

// Everything the server sends until it closes the connection.
QByteArray exchange(const LiveServer &server, const QByteArray &request)
{
    auto socket = connectTo(server);
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
        if (hasBody && status == 200 && contentType.startsWith("text/html")) {
            QVERIFY(body.contains("24 h &lt;Lauf&gt;"));
            QVERIFY(!body.contains("<Lauf>"));
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
        for (int i = 0; i < 64; ++i) {
            clients.push_back(connectTo(server));
            QVERIFY(clients.back());
            clients.back()->write("GET /events HTTP/1.1\r\n\r\n");
        }
        QTRY_COMPARE(server.clientCount(), 64);
        QCOMPARE(statusOf(exchange(server, "GET / HTTP/1.1\r\n\r\n")), 503);
        QCOMPARE(server.clientCount(), 64);
        // One leaves: the next is served again, and every stream still gets each change.
        clients.pop_back();
        QTRY_COMPARE(server.clientCount(), 63);
        QCOMPARE(statusOf(exchange(server, "GET /standings.json HTTP/1.1\r\n\r\n")), 200);
        server.publish(standings(QStringLiteral("Alle")));
        for (auto &client : clients) {
            QByteArray received;
            QTRY_VERIFY2((received += client->readAll()).contains("Alle"), received.constData());
        }
    }

    void stalledClientsAreDropped_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("readsEvents");
        QTest::newRow("connects and says nothing") << QByteArray() << false;
        QTest::newRow("request cut in the middle") << QByteArray("GET /stand") << false;
        QTest::newRow("header without its end") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n") << false;
        QTest::newRow("stream that never reads") << QByteArray("GET /events HTTP/1.1\r\n\r\n") << true;
    }

    void stalledClientsAreDropped()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, readsEvents);
        LiveServer server(smallLimits());
        QVERIFY(server.listen(0, QHostAddress::LocalHost));
        auto stalled = connectTo(server);
        QVERIFY(stalled);
        stalled->setReadBufferSize(1);
        stalled->write(sent);
        QTRY_COMPARE(server.clientCount(), 1);
        if (readsEvents) {
            // Far more than the kernel buffers: the server gives up instead of queueing it all.
            auto big = std::make_shared<ResultsSnapshot>(*standings(QStringLiteral("Groß")));
            big->rows[0].cells[StandingsGrid::Name] = QString(200000, QLatin1Char('x'));
            for (int i = 0; i < 40 && server.clientCount() > 0; ++i) {
                server.publish(big);
                QTest::qWait(20);
            }
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
};

QTEST_GUILESS_MAIN(TestLiveServer)
#include "testliveserver.moc"
