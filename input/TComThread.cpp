#include "input/TComThread.h"

#include "core/TickSource.h"
#include "input/TComPort.h"
#include "platform/SerialDevice.h"

#include <QThread>

TComThread::TComThread(TComPort &port, SerialDevice &device, const TickSource &clock, int eventMask, quint64 generation)
    : mPort(port)
    , mDevice(device)
    , mClock(clock)
    , mEventMask(eventMask)
    , mGeneration(generation)
{
}

void TComThread::run()
{
    for (;;) {
        const SerialDevice::WaitResult wake = mDevice.waitForChange(mEventMask);
        if (wake.outcome == SerialDevice::WaitResult::Outcome::Aborted)
            break;
        if (wake.outcome == SerialDevice::WaitResult::Outcome::Lost) {
            mPort.reportLost(mGeneration, wake.error);
            break;
        }
        // The pass happened now, not when the GUI thread gets round to it.
        TComPort::LineEvent event;
        event.tick = ReadClock(mClock);
        // The levels that go with this wake's counts, not the lines read now.
        event.modemStatus = wake.modemStatus;
        event.lines = wake.lines;
        event.pulses = (wake.ctsChanges >= 2 ? EV_CTS : 0) | (wake.dsrChanges >= 2 ? EV_DSR : 0)
            | (wake.rlsdChanges >= 2 ? EV_RLSD : 0);
        if (!mPort.handOver(event))
            break;
    }
    mDevice.discardInput();
    thread()->quit();
}
