#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>

// A web host in miniature: serves the files of one folder on the loopback from a thread of
// its own (the test's thread waits on the browser), with the Date and Last-Modified headers
// that a real host sends, so a page can tell how old a file is.
class FolderServer final : public QThread
{
    Q_OBJECT

public:
    explicit FolderServer(const QString &folder)
        : mFolder(folder)
    {
        start();
        while (mPort.load() == 0)
            QThread::msleep(5);
    }

    ~FolderServer() override
    {
        quit();
        wait();
    }

    // 0 until listening; -1 when the server could not listen.
    int port() const { return mPort.load(); }
    int requests() const { return mRequests.load(); }

    static QByteArray httpDate(const QDateTime &at)
    {
        return QLocale::c().toString(at.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'")).toLatin1();
    }

protected:
    void run() override
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost)) {
            mPort = -1;
            return;
        }
        connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
            }
        });
        mPort = server.serverPort();
        exec();
    }

private:
    void answer(QTcpSocket *socket)
    {
        QByteArray &head = mHeads[socket];
        head += socket->readAll();
        if (!head.contains("\r\n\r\n"))
            return;
        ++mRequests;
        // "GET /name?query HTTP/1.1": the name alone, in the folder.
        QByteArray path = head.split(' ').value(1);
        mHeads.remove(socket);
        path = path.left(path.indexOf('?') < 0 ? path.size() : path.indexOf('?'));
        const QFileInfo file(QDir(mFolder).filePath(QString::fromUtf8(path.mid(1))));
        QFile in(file.filePath());
        QByteArray reply;
        if (path.contains("..") || !in.open(QIODevice::ReadOnly)) {
            reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else {
            const QByteArray body = in.readAll();
            const QByteArray type = path.endsWith(".json") ? "application/json" : "text/html; charset=utf-8";
            reply = "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
                + "\r\nDate: " + httpDate(QDateTime::currentDateTimeUtc())
                + "\r\nLast-Modified: " + httpDate(file.lastModified()) + "\r\nConnection: close\r\n\r\n" + body;
        }
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QString mFolder;
    std::atomic<int> mPort = 0;
    std::atomic<int> mRequests = 0;
    QHash<QTcpSocket *, QByteArray> mHeads;
};
