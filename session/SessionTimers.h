#pragma once

#include <QObject>
#include <QTimer>

class RaceSession;

// The race's clocks: the running times every 10 ms, the countdown and the wall clock every
// 450 ms, and the finish lock after a start. The core switches them through its controls;
// each submits its input to the session, so the gong, the natural end and the lock need no
// window. A QObject on the session's thread, destroyed before the session.
class SessionTimers final : public QObject
{
    Q_OBJECT

public:
    explicit SessionTimers(RaceSession &session, QObject *parent = nullptr);

    // The program closes: nothing more is submitted, whatever the controls say.
    void stop();

    // Read by tests and the status display; switched only by the session's controls.
    const QTimer &runningTimes() const { return *TimerALL; }
    const QTimer &countdown() const { return *Timer1; }
    const QTimer &wallClock() const { return *TimerDate; }
    const QTimer &finishLock() const { return *TimerLockStop; }

private:
    // Starts and stops the timers as the core's controls say, on every change of them.
    void follow();

    RaceSession &mSession;
    QTimer *TimerALL = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *TimerDate = nullptr;
    QTimer *TimerLockStop = nullptr;
    // The lock restarts the core asked for that this object has carried out.
    int mLockRestarts = 0;
    bool mStopped = false;
};
