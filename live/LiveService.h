#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class LiveServer;
class QThread;
class QTimer;
class RaceSession;
struct ResultsSnapshot;

// The live standings on the local network, as the program switches them on and off. The
// server runs on a thread of its own: the timing never waits on a client. This side only
// hands it each new snapshot the session makes.
class LiveService final : public QObject
{
    Q_OBJECT

public:
    explicit LiveService(RaceSession &session, QObject *parent = nullptr);
    // Stops the server and joins its thread.
    ~LiveService() override;

    // Listens on the port (0: any free one), on every address or on bind alone, which must be
    // one of this machine's; started() or failed() follows.
    void start(quint16 port, const QHostAddress &bind = QHostAddress::Any);
    void stop();
    bool isRunning() const { return !mAddress.isEmpty(); }
    // The address phones open, e.g. "http://192.168.1.20:8080/" (the bound address when
    // listening on one); empty while stopped.
    const QString &address() const { return mAddress; }
    quint16 port() const { return mPort; }

    // The address this machine is most likely reached at on the local network.
    static QString lanAddress();

signals:
    void started(const QString &address);
    void failed(const QString &error);
    void stopped();

    // To the server's thread.
    void publishTo(const std::shared_ptr<const ResultsSnapshot> &results, bool push);

private:
    void changed();
    void publish();
    void listened(quint16 port, const QHostAddress &bind, const QString &error);
    // Why the server cannot listen on bind, or nothing when it can try.
    static QString refusal(const QHostAddress &bind);
    static bool everywhere(const QHostAddress &bind);

    RaceSession &mSession;
    QThread *mThread;
    LiveServer *mServer;  // lives on mThread, deleted there when it finishes
    // Every 100 ms, what changed goes out: a booking's own moment is never spent on the
    // network, and a burst of changes (a booking sorts and counts) goes out once.
    QTimer *mCoalesce;
    bool mChanged = false; // the standings changed since they last went out
    QString mAddress;
    // What the event streams were last sent: a countdown alone is not sent again.
    std::shared_ptr<const ResultsSnapshot> mPushed;
    quint16 mPort = 0;
    // Each start gets a number, so that the answer of a stale start is ignored.
    int mStarts = 0;
};
