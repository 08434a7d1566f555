#include "live/LiveServer.h"

#include "core/ResultsDate.h"
#include "core/ResultsSnapshot.h"
#include "live/LivePage.h"
#include "live/StandingsJson.h"

#include <QDate>
#include <QLocale>

#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

LiveServer::LiveServer(QObject *parent)
    : LiveServer(Limits(), parent)
{
}

LiveServer::LiveServer(const Limits &limits, QObject *parent)
    : QObject(parent)
    , mLimits(limits)
    , mServer(new QTcpServer(this))
    , mResults(std::make_shared<const ResultsSnapshot>())
{
    connect(mServer, &QTcpServer::newConnection, this, &LiveServer::acceptConnections);
}

// The connections are children and go with the server.
LiveServer::~LiveServer() = default;

bool LiveServer::listen(quint16 port, const QHostAddress &address)
{
    mServer->close();
    return mServer->listen(address, port);
}

void LiveServer::close()
{
    mServer->close();
    const std::vector<LiveConnection *> open = mConnections;
    for (LiveConnection *connection : open)
        delete connection;
    mConnections.clear();
    emit clientCountChanged(0);
}

bool LiveServer::isListening() const
{
    return mServer->isListening();
}

quint16 LiveServer::port() const
{
    return mServer->serverPort();
}

QString LiveServer::errorString() const
{
    return mServer->errorString();
}

void LiveServer::publish(const std::shared_ptr<const ResultsSnapshot> &results, bool push)
{
    mResults = results ? results : std::make_shared<const ResultsSnapshot>();
    mPage.clear();
    mStandings.clear();
    mEvent.clear();
    bool anyStream = false;
    for (LiveConnection *connection : mConnections)
        anyStream = anyStream || connection->isStreaming();
    if (!anyStream || !push)
        return;
    const QByteArray json = event();
    // A stream dropped for not reading leaves the list while we go through it.
    const std::vector<LiveConnection *> open = mConnections;
    for (LiveConnection *connection : open)
        connection->sendEvent(json);
}

void LiveServer::acceptConnections()
{
    while (QTcpSocket *socket = mServer->nextPendingConnection()) {
        if (clientCount() >= mLimits.maxClients || clientsFrom(socket->peerAddress()) >= mLimits.maxPerAddress) {
            // Full, for everyone or for this address: told so at once, without reading a
            // byte of the request.
            socket->write(LiveConnection::errorResponse(503));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->state() == QAbstractSocket::UnconnectedState)
                socket->deleteLater();
            continue;
        }
        auto *connection = new LiveConnection(socket, *this, mLimits.connection, this);
        connect(connection, &LiveConnection::finished, this, &LiveServer::forget);
        mConnections.push_back(connection);
        emit clientCountChanged(clientCount());
    }
}

int LiveServer::clientsFrom(const QHostAddress &address) const
{
    return int(std::count_if(mConnections.begin(), mConnections.end(),
                             [&address](const LiveConnection *connection) { return connection->peer() == address; }));
}

void LiveServer::forget(LiveConnection *connection)
{
    const auto it = std::find(mConnections.begin(), mConnections.end(), connection);
    if (it == mConnections.end())
        return;
    mConnections.erase(it);
    emit clientCountChanged(clientCount());
}

QByteArray LiveServer::page()
{
    if (mPage.isEmpty())
        mPage = LivePage::of(*mResults, today());
    return mPage;
}

QByteArray LiveServer::standings()
{
    if (mStandings.isEmpty())
        mStandings = StandingsJson::of(*mResults, today());
    return mStandings;
}

QByteArray LiveServer::event()
{
    if (mEvent.isEmpty())
        mEvent = StandingsJson::of(*mResults, today(), StandingsJson::Laps::Left);
    return mEvent;
}

QString LiveServer::today()
{
    // Asked here, on the server's thread: reading the date looks at the time zone on disk.
    return ResultsDate(QDate::currentDate(), QLocale());
}
