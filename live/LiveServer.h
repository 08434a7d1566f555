#pragma once

#include "live/LiveConnection.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

struct ResultsSnapshot;
class QTcpServer;

// The read-only standings server: "/" (the page), "/standings.json" and "/events" (the
// standings as server-sent events), GET and HEAD only, at most maxClients at once and
// maxPerAddress of them from one address. It lives
// on a thread of its own in the program; it only ever gets immutable snapshots to show.
class LiveServer final : public QObject, private LiveConnection::Content
{
    Q_OBJECT

public:
    struct Limits
    {
        int maxClients = 64;
        // From one address: a single phone (or a script) cannot take every place.
        int maxPerAddress = 8;
        LiveConnection::Limits connection;
    };

    explicit LiveServer(QObject *parent = nullptr);
    explicit LiveServer(const Limits &limits, QObject *parent = nullptr);
    ~LiveServer() override;

    // Starts listening on every address (port 0: any free port). False with errorString() set
    // when the port cannot be had.
    bool listen(quint16 port, const QHostAddress &address = QHostAddress::Any);
    void close();
    bool isListening() const;
    quint16 port() const;
    QString errorString() const;
    int clientCount() const { return static_cast<int>(mConnections.size()); }

    // New standings: served from now on, and with push sent to every event stream at once
    // (without it the streams keep what they have: a countdown they count down themselves).
    void publish(const std::shared_ptr<const ResultsSnapshot> &results, bool push = true);

signals:
    void clientCountChanged(int clients);

private:
    void acceptConnections();
    int clientsFrom(const QHostAddress &address) const;
    void forget(LiveConnection *connection);
    QByteArray page() override;
    static QString today();
    QByteArray standings() override;
    QByteArray event() override;

    Limits mLimits;
    QTcpServer *mServer;
    std::vector<LiveConnection *> mConnections;
    std::shared_ptr<const ResultsSnapshot> mResults;
    QByteArray mStandings;
    QByteArray mEvent;
    // Made on the first request after a change: most changes are never asked for as a page.
    QByteArray mPage;
};
