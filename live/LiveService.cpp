#include "live/LiveService.h"

#include "core/ResultsSnapshot.h"
#include "live/LiveServer.h"
#include "session/RaceSession.h"

#include <QNetworkInterface>
#include <QThread>
#include <QTimer>
#include <QUrl>

LiveService::LiveService(RaceSession &session, QObject *parent)
    : QObject(parent)
    , mSession(session)
    , mThread(new QThread(this))
    , mServer(new LiveServer)
    , mCoalesce(new QTimer(this))
{
    qRegisterMetaType<std::shared_ptr<const ResultsSnapshot>>();
    mThread->setObjectName(QStringLiteral("LiveServer"));
    mServer->moveToThread(mThread);
    connect(mThread, &QThread::finished, mServer, &QObject::deleteLater);
    connect(this, &LiveService::publishTo, mServer, &LiveServer::publish);
    mCoalesce->setInterval(100);
    connect(mCoalesce, &QTimer::timeout, this, [this] {
        if (mChanged)
            publish();
    });
    mThread->start();
}

// The server and its connections are deleted on their thread as it finishes.
LiveService::~LiveService()
{
    mThread->quit();
    mThread->wait();
}

void LiveService::start(quint16 port, const QHostAddress &bind)
{
    stop();
    const int start = ++mStarts;
    if (const QString error = refusal(bind); !error.isEmpty()) {
        // Answered later all the same, as the server's own answer would be.
        QMetaObject::invokeMethod(this, [this, bind, error, start] {
            if (start == mStarts)
                listened(0, bind, error);
        }, Qt::QueuedConnection);
        return;
    }
    LiveServer *server = mServer;
    QMetaObject::invokeMethod(mServer, [this, server, port, bind, start] {
        const bool ok = server->listen(port, bind);
        const quint16 bound = ok ? server->port() : 0;
        const QString error = ok ? QString() : server->errorString();
        QMetaObject::invokeMethod(this, [this, bound, bind, error, start] {
            if (start == mStarts)
                listened(bound, bind, error);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

bool LiveService::everywhere(const QHostAddress &bind)
{
    return bind == QHostAddress::Any || bind == QHostAddress::AnyIPv4 || bind == QHostAddress::AnyIPv6;
}

QString LiveService::refusal(const QHostAddress &bind)
{
    if (bind.isNull())
        return QStringLiteral("LiveBind ist keine gültige IP-Adresse.");
    // Listening on a foreign address fails with a system message no operator understands.
    if (!everywhere(bind) && !QNetworkInterface::allAddresses().contains(bind))
        return QStringLiteral("LiveBind %1 ist keine Adresse dieses Rechners.").arg(bind.toString());
    return {};
}

void LiveService::listened(quint16 port, const QHostAddress &bind, const QString &error)
{
    if (!error.isEmpty()) {
        emit failed(error);
        return;
    }
    mPort = port;
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(everywhere(bind) ? lanAddress() : bind.toString());
    url.setPort(port);
    url.setPath(QStringLiteral("/"));
    mAddress = url.toString();
    // A change only marks the standings; the timer sends them out at most every interval, so
    // a booking itself spends nothing on the network, not even starting a timer.
    connect(&mSession, &RaceSession::resultsChanged, this, &LiveService::changed, Qt::UniqueConnection);
    mCoalesce->start();
    publish();
    emit started(mAddress);
}

void LiveService::stop()
{
    ++mStarts;
    disconnect(&mSession, &RaceSession::resultsChanged, this, &LiveService::changed);
    mCoalesce->stop();
    mPushed.reset();
    QMetaObject::invokeMethod(mServer, &LiveServer::close, Qt::QueuedConnection);
    if (mAddress.isEmpty())
        return;
    mAddress.clear();
    mPort = 0;
    emit stopped();
}

void LiveService::changed()
{
    mChanged = true;
}

void LiveService::publish()
{
    mChanged = false;
    std::shared_ptr<const ResultsSnapshot> results = mSession.snapshot();
    const bool push = !mPushed || !mPushed->sameApartFromCountdown(*results);
    if (push)
        mPushed = results;
    emit publishTo(results, push);
}

QString LiveService::lanAddress()
{
    // An IPv4 address of an interface that is up and not the loopback: private ranges first,
    // since that is where phones at the track are.
    QString fallback;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.isLinkLocal())
                continue;
            const bool privateUse = ip.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8)
                || ip.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12)
                || ip.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16);
            if (privateUse)
                return ip.toString();
            if (fallback.isEmpty())
                fallback = ip.toString();
        }
    }
    return fallback.isEmpty() ? QStringLiteral("127.0.0.1") : fallback;
}
