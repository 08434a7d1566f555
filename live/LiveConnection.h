#pragma once

#include "live/HttpRequestHead.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

class QTcpSocket;
class QTimer;

// One client of the live server: reads one request head, answers it and closes, or, for
// /events, stays open and gets every new standings as a server-sent event. It never waits
// on the client: a client that stops reading is dropped once too much is queued for it, or
// once it has taken no bytes for the idle time, however many events wait for it.
class LiveConnection final : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        qsizetype maxHeadBytes = 8 * 1024;       // request head, blank line included
        int idleMs = 60 * 1000;                  // no request, or no progress writing, this long
        qint64 maxQueuedBytes = 1024 * 1024;     // unsent bytes an event stream may pile up
        int heartbeatMs = 15 * 1000;             // a comment line that keeps a quiet stream open
    };

    // What a request can be answered with: the current page and standings.
    class Content
    {
    public:
        virtual ~Content() = default;
        virtual QByteArray page() = 0;
        virtual QByteArray standings() = 0;
        // The standings as an event carries them: what the page shows, without lap times.
        virtual QByteArray event() = 0;
    };

    // Takes the socket over (it becomes a child); content outlives the connection.
    LiveConnection(QTcpSocket *socket, Content &content, const Limits &limits, QObject *parent = nullptr);
    ~LiveConnection() override;

    bool isStreaming() const { return mState == State::Streaming; }
    // Kept from the start: a socket that has gone no longer knows its peer.
    const QHostAddress &peer() const { return mPeer; }
    // Sends new standings to an event stream; any other connection ignores it.
    void sendEvent(const QByteArray &standings);
    // A whole response that refuses a client before reading from it (the server is full).
    static QByteArray errorResponse(int status);

signals:
    // The connection is over; the server forgets it (it deletes itself later).
    void finished(LiveConnection *connection);

private:
    enum class State { Reading, Answering, Streaming, Done };

    void readRequest();
    void answer(const HttpRequestHead &head);
    // Writes a whole response and closes once it has been sent.
    void respond(const QByteArray &contentType, const QByteArray &body, bool withBody);
    void startStream(bool withBody);
    void writeQueued(const QByteArray &bytes);
    void close();
    void abort();

    QTcpSocket *mSocket;
    QHostAddress mPeer;
    Content &mContent;
    Limits mLimits;
    State mState = State::Reading;
    QByteArray mBuffer;
    // Reading: the whole head must arrive in time. Answering and streaming: bytes must leave.
    QTimer *mIdle;
    QTimer *mHeartbeat;
};
