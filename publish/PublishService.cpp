#include "publish/PublishService.h"

#include "core/ResultsSnapshot.h"
#include "publish/Publisher.h"
#include "session/RaceSession.h"

#include <QThread>
#include <QTimer>

#include <algorithm>

PublishService::PublishService(RaceSession &session, FileMaker maker, QObject *parent)
    : QObject(parent)
    , mSession(session)
    , mThread(new QThread(this))
    , mPublisher(new Publisher(std::move(maker)))
    , mTimer(new QTimer(this))
{
    mThread->setObjectName(QStringLiteral("Publisher"));
    mPublisher->moveToThread(mThread);
    // Both run on the publishing thread as it ends: no retry outlives it, then the publisher goes.
    connect(mThread, &QThread::finished, mPublisher, &Publisher::halt, Qt::DirectConnection);
    connect(mThread, &QThread::finished, mPublisher, &QObject::deleteLater);
    connect(mPublisher, &Publisher::uploaded, this, &PublishService::uploaded);
    connect(mPublisher, &Publisher::uploadFailed, this, &PublishService::uploadFailed);
    connect(mPublisher, &Publisher::sent, this, &PublishService::bytesSent);
    connect(mTimer, &QTimer::timeout, this, &PublishService::tick);
    mThread->start();
}

PublishService::~PublishService()
{
    // stop() cuts a running transfer at once, so the join does not wait on the network.
    stop();
    mThread->quit();
    mThread->wait();
}

void PublishService::start(const PublishTarget &target, const PublishCredentials &credentials, int intervalSeconds)
{
    const int seconds = std::clamp(intervalSeconds, MinimumIntervalSeconds, MaximumIntervalSeconds);
    const int generation = ++mGeneration;
    mPublisher->setGeneration(generation);
    mPublisher->drop();
    Publisher *publisher = mPublisher;
    QMetaObject::invokeMethod(mPublisher, [publisher, target, credentials, seconds, generation] {
        publisher->configure(target, credentials, seconds * 1000, generation);
    }, Qt::QueuedConnection);
    connect(&mSession, &RaceSession::resultsChanged, this, &PublishService::changed, Qt::UniqueConnection);
    mRunning = true;
    mTimer->start(seconds * 1000);
    publishNow();
}

void PublishService::stop()
{
    disconnect(&mSession, &RaceSession::resultsChanged, this, &PublishService::changed);
    mTimer->stop();
    mChanged = false;
    mRunning = false;
    mPublisher->setGeneration(++mGeneration);
    mPublisher->drop();
    QMetaObject::invokeMethod(mPublisher, &Publisher::halt, Qt::QueuedConnection);
}

void PublishService::changed()
{
    mChanged = true;
}

void PublishService::tick()
{
    if (mChanged)
        publishNow();
}

void PublishService::publishNow()
{
    mChanged = false;
    mPublisher->offer(mSession.snapshot(), mGeneration);
}

void PublishService::uploaded(const QDateTime &at, int generation)
{
    if (generation == mGeneration)
        emit published(at);
}

void PublishService::uploadFailed(const QString &reason, int failuresInRow, int generation)
{
    if (generation == mGeneration)
        emit failed(reason, failuresInRow);
}
