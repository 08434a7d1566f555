#include "live/LiveConnection.h"

#include "live/LivePage.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

const char *reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
    }
}

QByteArray statusLine(int status)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
}

// Headers every answer carries: nothing is cached, sniffed, framed, or fetched from elsewhere.
const QByteArray &commonHeaders()
{
    static const QByteArray headers = "Cache-Control: no-store\r\n"
                                      "X-Content-Type-Options: nosniff\r\n"
                                      "X-Frame-Options: DENY\r\n"
                                      "Referrer-Policy: no-referrer\r\n"
                                      "Content-Security-Policy: " + LivePage::securityPolicy() + "\r\n";
    return headers;
}

} // namespace

LiveConnection::LiveConnection(QTcpSocket *socket, Content &content, const Limits &limits, QObject *parent)
    : QObject(parent)
    , mSocket(socket)
    , mPeer(socket->peerAddress())
    , mContent(content)
    , mLimits(limits)
    , mIdle(new QTimer(this))
    , mHeartbeat(new QTimer(this))
{
    mSocket->setParent(this);
    mIdle->setSingleShot(true);
    mIdle->setInterval(mLimits.idleMs);
    mHeartbeat->setInterval(mLimits.heartbeatMs);
    connect(mIdle, &QTimer::timeout, this, &LiveConnection::abort);
    connect(mHeartbeat, &QTimer::timeout, this, [this] { writeQueued(QByteArrayLiteral(": \n\n")); });
    connect(mSocket, &QTcpSocket::readyRead, this, &LiveConnection::readRequest);
    connect(mSocket, &QTcpSocket::disconnected, this, &LiveConnection::close);
    connect(mSocket, &QTcpSocket::errorOccurred, this, &LiveConnection::abort);
    // Bytes taken by the peer show the client is alive; a stream that stalls runs into the
    // idle timer, however much is queued meanwhile.
    connect(mSocket, &QTcpSocket::bytesWritten, this, [this] {
        if (mSocket->bytesToWrite() == 0 && mState == State::Streaming)
            mIdle->stop();
        else
            mIdle->start();
    });
    mIdle->start();
    // Data may have arrived before the connection was handed over.
    if (mSocket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &LiveConnection::readRequest);
}

LiveConnection::~LiveConnection() = default;

QByteArray LiveConnection::errorResponse(int status)
{
    const QByteArray body = QByteArray::number(status) + ' ' + reason(status) + '\n';
    QByteArray out = statusLine(status);
    out += commonHeaders();
    out += "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n";
    if (status == 405)
        out += "Allow: GET, HEAD\r\n";
    if (status == 503)
        out += "Retry-After: 5\r\n";
    out += "\r\n";
    out += body;
    return out;
}

void LiveConnection::readRequest()
{
    if (mState != State::Reading) {
        // One request per connection: whatever a client sends after it is dropped unread.
        mSocket->skip(mSocket->bytesAvailable());
        return;
    }
    // Never hold more than the head may be long (plus the blank line's bytes).
    const qint64 room = mLimits.maxHeadBytes + 4 - mBuffer.size();
    if (room > 0)
        mBuffer += mSocket->read(room);
    const HttpRequestHead head = HttpRequestHead::parse(mBuffer, mLimits.maxHeadBytes);
    switch (head.outcome) {
    case HttpRequestHead::Outcome::Incomplete: return;
    case HttpRequestHead::Outcome::Invalid:
        mState = State::Answering;
        writeQueued(errorResponse(head.status));
        mSocket->disconnectFromHost();
        return;
    case HttpRequestHead::Outcome::Complete: answer(head); return;
    }
}

void LiveConnection::answer(const HttpRequestHead &head)
{
    mBuffer.clear();
    const bool withBody = head.method == HttpRequestHead::Method::Get;
    if (head.path == "/")
        respond("text/html; charset=utf-8", mContent.page(), withBody);
    else if (head.path == "/standings.json")
        respond("application/json; charset=utf-8", mContent.standings(), withBody);
    else if (head.path == "/events")
        startStream(withBody);
    else {
        mState = State::Answering;
        writeQueued(errorResponse(404));
        mSocket->disconnectFromHost();
    }
}

void LiveConnection::respond(const QByteArray &contentType, const QByteArray &body, bool withBody)
{
    mState = State::Answering;
    QByteArray out = statusLine(200);
    out.reserve(out.size() + 512 + (withBody ? body.size() : 0));
    out += commonHeaders();
    out += "Content-Type: " + contentType + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n";
    if (withBody)
        out += body;
    writeQueued(out);
    mSocket->disconnectFromHost();
}

void LiveConnection::startStream(bool withBody)
{
    QByteArray out = statusLine(200);
    out += commonHeaders();
    out += "Content-Type: text/event-stream; charset=utf-8\r\nConnection: keep-alive\r\n\r\n";
    if (!withBody) {
        mState = State::Answering;
        writeQueued(out);
        mSocket->disconnectFromHost();
        return;
    }
    mState = State::Streaming;
    // The browser reconnects after a second if the stream breaks.
    out += "retry: 1000\n\n";
    writeQueued(out);
    mHeartbeat->start();
    sendEvent(mContent.event());
}

void LiveConnection::sendEvent(const QByteArray &standings)
{
    if (mState != State::Streaming)
        return;
    // The standings are one line of JSON: one data line makes the event.
    writeQueued("data: " + standings + "\n\n");
}

void LiveConnection::writeQueued(const QByteArray &bytes)
{
    if (mState == State::Done)
        return;
    // A client that does not read gets dropped instead of piling up the server's memory.
    if (mSocket->bytesToWrite() + bytes.size() > mLimits.maxQueuedBytes && mState == State::Streaming) {
        abort();
        return;
    }
    // The clock runs from the last progress, not from the last write: a phone gone from the
    // network is still sent every change, and would otherwise never run out of time.
    const bool drained = mSocket->bytesToWrite() == 0;
    mSocket->write(bytes);
    if (drained || !mIdle->isActive())
        mIdle->start();
}

void LiveConnection::close()
{
    if (mState == State::Done)
        return;
    mState = State::Done;
    mIdle->stop();
    mHeartbeat->stop();
    emit finished(this);
    deleteLater();
}

void LiveConnection::abort()
{
    if (mState == State::Done)
        return;
    mSocket->abort();
    close();
}
