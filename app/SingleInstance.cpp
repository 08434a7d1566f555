#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTimer>

#include <unistd.h>

namespace {

// The one word a later start sends.
constexpr char Request[] = "raise\n";

} // namespace

SingleInstance::SingleInstance(const QString &dataDir, QObject *parent)
    : QObject(parent)
    , mDataDir(dataDir)
    , mLockPath(QDir(dataDir).absoluteFilePath(QStringLiteral("chronolauf.lock")))
    , mLock(mLockPath)
{
    // A race holds the lock for hours: only a dead owner makes it stale, never its age.
    mLock.setStaleLockTime(0);
    connect(&mServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = mServer.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            readRequest(socket);
        }
    });
}

SingleInstance::~SingleInstance()
{
    mServer.close();
    mLock.unlock();
}

QString SingleInstance::serverName(const QString &dataDir)
{
    // The socket lives in the temporary folder, whose path length is limited: a hash of the folder.
    const QFileInfo info(dataDir);
    const QString canonical = info.canonicalFilePath();
    const QByteArray folder = (canonical.isEmpty() ? info.absoluteFilePath() : canonical).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("chronolauf-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

SingleInstance::Result SingleInstance::acquire()
{
    QDir().mkpath(mDataDir);
    if (!mLock.tryLock(0))
        return mLock.error() == QLockFile::LockFailedError ? Result::Running : Result::Unavailable;
    // The lock is ours, so a socket of that name is left from a program that died.
    const QString name = serverName(mDataDir);
    QLocalServer::removeServer(name);
    mServer.setSocketOptions(QLocalServer::UserAccessOption);
    // Without the socket a later start still ends; it only cannot raise this window.
    mServer.listen(name);
    return Result::First;
}

void SingleInstance::readRequest(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        if (socket->readLine() == QByteArray(Request))
            emit activationRequested();
        socket->disconnectFromServer();
    }
}

void SingleInstance::activateRunning()
{
    mDone = false;
    mDelivered = false;
    mClient = new QLocalSocket(this);
    const auto finish = [this](bool delivered) {
        if (mDone)
            return;
        mDone = true;
        mDelivered = delivered;
        emit deliveryDone(delivered);
    };
    connect(mClient, &QLocalSocket::connected, this, [this] { mClient->write(Request); });
    // The first program hangs up once it has the word.
    connect(mClient, &QLocalSocket::disconnected, this, [this, finish] { finish(mClient->bytesToWrite() == 0); });
    connect(mClient, &QLocalSocket::errorOccurred, this, [this, finish](QLocalSocket::LocalSocketError error) {
        finish(error == QLocalSocket::PeerClosedError && mClient->bytesToWrite() == 0);
    });
    mClient->connectToServer(serverName(mDataDir));
}

bool SingleInstance::waitForDelivery(int timeoutMs)
{
    if (!mClient)
        return false;
    if (!mDone) {
        QEventLoop loop;
        connect(this, &SingleInstance::deliveryDone, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return mDelivered;
}
