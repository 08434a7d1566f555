#include "session/SessionTimers.h"

#include "session/RaceSession.h"

#include <QTime>
#include <QTimer>

namespace {

QTimer *makeTimer(int intervalMs, QObject *parent)
{
    auto *timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(intervalMs);
    return timer;
}

void sync(QTimer *timer, bool enabled)
{
    if (enabled && !timer->isActive())
        timer->start();
    else if (!enabled && timer->isActive())
        timer->stop();
}

RaceInput wallClockInput()
{
    return {.kind = RaceInput::Kind::TimerDate, .value = QTime::currentTime().msecsSinceStartOfDay()};
}

} // namespace

SessionTimers::SessionTimers(RaceSession &session, QObject *parent)
    : QObject(parent)
    , mSession(session)
    , TimerALL(makeTimer(10, this))
    , Timer1(makeTimer(450, this))
    , TimerDate(makeTimer(450, this))
    , TimerLockStop(makeTimer(20000, this))
{
    using Kind = RaceInput::Kind;
    connect(TimerALL, &QTimer::timeout, this, [this] { mSession.submit({.kind = Kind::TimerAll}); });
    connect(Timer1, &QTimer::timeout, this, [this] { mSession.submit({.kind = Kind::Timer1}); });
    connect(TimerDate, &QTimer::timeout, this, [this] { mSession.submit(wallClockInput()); });
    connect(TimerLockStop, &QTimer::timeout, this, [this] { mSession.submit({.kind = Kind::TimerLockStop}); });
    connect(&mSession, &RaceSession::controlsChanged, this, &SessionTimers::follow);
    mLockRestarts = mSession.core().controls().lockStopRestarts;
    mSession.submit(wallClockInput());
    TimerDate->start();
    follow();
}

void SessionTimers::stop()
{
    mStopped = true;
    for (QTimer *timer : {TimerALL, Timer1, TimerDate, TimerLockStop})
        timer->stop();
}

void SessionTimers::follow()
{
    if (mStopped)
        return;
    const Controls &c = mSession.core().controls();
    // A new lock time applies from now on to a lock that is running.
    if (TimerLockStop->interval() != c.lockStopInterval)
        TimerLockStop->setInterval(c.lockStopInterval);
    if (mLockRestarts != c.lockStopRestarts && TimerLockStop->isActive())
        TimerLockStop->start();
    mLockRestarts = c.lockStopRestarts;
    sync(TimerALL, c.timerAllEnabled);
    sync(Timer1, c.timer1Enabled);
    sync(TimerLockStop, c.timerLockStopEnabled);
}
