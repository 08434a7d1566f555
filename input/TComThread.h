#pragma once

#include <QObject>

class SerialDevice;
class TComPort;
class TickSource;

// The event thread's work: waits on the device, stamps each wake with the race clock the moment
// the wait returns and hands it to its port on the GUI thread. Lives on a QThread the port owns.
class TComThread final : public QObject
{
    Q_OBJECT

public:
    // eventMask: EV_ bits to wait for; generation: the port's open count, for a late loss report.
    TComThread(TComPort &port, SerialDevice &device, const TickSource &clock, int eventMask, quint64 generation);

    // Waits until aborted, the port stops taking events, or the device is lost; then ends the thread.
    void run();

private:
    TComPort &mPort;
    SerialDevice &mDevice;
    const TickSource &mClock;
    const int mEventMask;
    const quint64 mGeneration;
};
