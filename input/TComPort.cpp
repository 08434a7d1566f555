#include "input/TComPort.h"

#include "input/ComPorts.h"
#include "input/EComError.h"
#include "input/TComThread.h"

#include <QThread>

#include <algorithm>

TComPort::TComPort(std::unique_ptr<SerialDevice> device, const TickSource &clock, QObject *parent)
    : QObject(parent)
    , mDevice(std::move(device))
    , mClock(clock)
{
    // At most once a second: a port that is not back costs one failed open per try.
    mReopenTimer.setInterval(1000);
    connect(&mReopenTimer, &QTimer::timeout, this, &TComPort::tryReopen);
}

TComPort::~TComPort() { Close(); }

void TComPort::setSettings(const SerialSettings &settings)
{
    mSettings = settings;
    mSettings.DataBits = SerialSettings::clampDataBits(settings.DataBits);
}

QString TComPort::DevicePath() const { return ComPortPath(mPort); }

void TComPort::setPort(int port)
{
    mPort = port;
    mReopenTimer.stop();
}

void TComPort::Open()
{
    mReopenTimer.stop();
    try {
        openPort();
    } catch (const EComError &) {
        // An adapter missing at start-up (after a power cut, or renumbered) is waited for like a pulled one.
        if (mReopenWhenBack)
            mReopenTimer.start();
        throw;
    }
}

void TComPort::Close()
{
    mReopenTimer.stop();
    closePort();
}

int TComPort::ModemStatus() const { return mConnected ? mDevice->modemStatus() : 0; }

void TComPort::setReopenWhenBack(bool on)
{
    mReopenWhenBack = on;
    if (!on)
        mReopenTimer.stop();
}

bool TComPort::handOverWaiting() const
{
    QMutexLocker lock(&mHandOverMutex);
    return mFinished < mPosted;
}

void TComPort::openPort()
{
    closePort();
    if (const auto error = mDevice->open(DevicePath(), mSettings)) {
        mDevice->close();
        if (error->step == SerialDevice::OpenError::Step::Open)
            throw EComHandle(error->text);
        throw EComState(error->text);
    }
    // The barriers draw their supply from these; a device without them (a pseudo-terminal) just has none.
    mDevice->setDtr(mSettings.EnableDTR);
    mDevice->setRts(mSettings.FlowControl == TFlowControl::fcRtsCts);

    {
        QMutexLocker lock(&mHandOverMutex);
        mStopping = false;
    }
    ++mGeneration;
    mThread = std::make_unique<QThread>();
    // Names the thread for debuggers and the process's task list.
    mThread->setObjectName(QStringLiteral("TComThread"));
    auto *worker = new TComThread(*this, *mDevice, mClock, mEvents & EV_LINES, mGeneration);
    worker->moveToThread(mThread.get());
    connect(mThread.get(), &QThread::started, worker, &TComThread::run);
    connect(mThread.get(), &QThread::finished, worker, &QObject::deleteLater);
    mThread->start();
    mConnected = true;
    emit OnOpen();
}

void TComPort::closePort()
{
    if (!mConnected || mReleasing)
        return;
    release();
    emit OnClose();
}

void TComPort::release()
{
    mReleasing = true;
    {
        QMutexLocker lock(&mHandOverMutex);
        mStopping = true;
    }
    mDevice->abortWait();
    // An event already handed over is dispatched before the port goes. This also keeps the
    // join below from waiting on a hand-over that waits on this very thread.
    servePending();
    {
        // A hand-over whose dispatch is still running further up this stack (a handler that
        // closes the port) is let go too.
        QMutexLocker lock(&mHandOverMutex);
        mFinished = mPosted;
        mHandedOver.wakeAll();
    }
    mThread->wait();
    mThread.reset();
    mDevice->close();
    mConnected = false;
    mReleasing = false;
}

bool TComPort::handOver(const LineEvent &event)
{
    QMutexLocker lock(&mHandOverMutex);
    if (mStopping)
        return false;
    mPending = event;
    const quint64 id = ++mPosted;
    lock.unlock();
    QMetaObject::invokeMethod(this, &TComPort::servePending, Qt::QueuedConnection);
    lock.relock();
    while (mFinished < id)
        mHandedOver.wait(&mHandOverMutex);
    return !mStopping;
}

void TComPort::servePending()
{
    LineEvent event;
    quint64 id = 0;
    {
        QMutexLocker lock(&mHandOverMutex);
        if (!mPending)
            return;
        event = *mPending;
        mPending.reset();
        id = mPosted;
    }
    dispatch(event);
    QMutexLocker lock(&mHandOverMutex);
    mFinished = std::max(mFinished, id);
    mHandedOver.wakeAll();
}

void TComPort::dispatch(const LineEvent &event)
{
    const quint64 generation = mGeneration;
    // A handler that closed (or re-opened) the port ends this wake.
    const auto stillOpen = [this, generation] { return mConnected && mGeneration == generation; };
    emit lineEvent(event.tick, event.modemStatus, event.lines, event.pulses);
    if ((event.lines & EV_CTS) && stillOpen())
        emit OnCTS();
    if ((event.lines & EV_DSR) && stillOpen())
        emit OnDSR();
    if ((event.lines & EV_RLSD) && stillOpen())
        emit OnRLSD();
}

void TComPort::reportLost(quint64 generation, const QString &reason)
{
    QMetaObject::invokeMethod(this, [this, generation, reason] { onLost(generation, reason); }, Qt::QueuedConnection);
}

void TComPort::onLost(quint64 generation, const QString &reason)
{
    // A report from a thread that a Close or Open has already replaced.
    if (generation != mGeneration || !mConnected || mReleasing)
        return;
    closePort();
    emit lost(reason);
    if (mReopenWhenBack)
        mReopenTimer.start();
}

void TComPort::tryReopen()
{
    try {
        openPort();
    } catch (const EComError &) {
        return; // not back yet: the timer tries again
    }
    mReopenTimer.stop();
    emit reconnected();
}
