#pragma once

#include "platform/SerialDevice.h"

#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>

#include <deque>

// A serial port without hardware: the test queues what each wait sees. Thread-safe; the wait
// blocks like a driver's until a change is queued, the device is unplugged, or it is aborted.
class FakeSerialDevice final : public SerialDevice
{
public:
    std::optional<OpenError> open(const QString &path, const SerialSettings &settings) override
    {
        QMutexLocker lock(&mMutex);
        mPath = path;
        mSettings = settings;
        if (mFailOpen)
            return mFailOpen;
        if (!mPlugged)
            return OpenError{OpenError::Step::Open, QStringLiteral("No such file or directory")};
        mOpen = true;
        mAborted = false;
        ++mOpens;
        return std::nullopt;
    }
    void close() override
    {
        QMutexLocker lock(&mMutex);
        mOpen = false;
        mWakes.clear();
    }
    bool isOpen() const override
    {
        QMutexLocker lock(&mMutex);
        return mOpen;
    }
    bool setDtr(bool on) override
    {
        QMutexLocker lock(&mMutex);
        mDtr = on;
        return true;
    }
    bool setRts(bool on) override
    {
        QMutexLocker lock(&mMutex);
        mRts = on;
        return true;
    }
    int modemStatus() const override
    {
        QMutexLocker lock(&mMutex);
        return mStatus;
    }
    void discardInput() override {}

    WaitResult waitForChange(int eventMask) override
    {
        QMutexLocker lock(&mMutex);
        mMask = eventMask;
        mWaiting = true;
        mChanged.wakeAll();
        while (!mAborted && mWakes.empty())
            mChanged.wait(&mMutex);
        mWaiting = false;
        if (mAborted)
            return {};
        const WaitResult result = mWakes.front();
        mWakes.pop_front();
        return result;
    }
    void abortWait() override
    {
        QMutexLocker lock(&mMutex);
        mAborted = true;
        mChanged.wakeAll();
    }

    // The next wait reports these edge counts and the MS_ bits that go with them; the lines
    // read back show live (by default the same bits).
    void change(int cts, int dsr, int rlsd, int status = 0, std::optional<int> live = std::nullopt)
    {
        QMutexLocker lock(&mMutex);
        WaitResult result;
        result.outcome = WaitResult::Outcome::Changed;
        result.ctsChanges = cts;
        result.dsrChanges = dsr;
        result.rlsdChanges = rlsd;
        result.lines = (cts ? EV_CTS : 0) | (dsr ? EV_DSR : 0) | (rlsd ? EV_RLSD : 0);
        result.modemStatus = status;
        mStatus = live.value_or(status);
        mWakes.push_back(result);
        mChanged.wakeAll();
    }
    // The adapter is pulled: the running wait fails, and opening fails until replug().
    void unplug()
    {
        QMutexLocker lock(&mMutex);
        mPlugged = false;
        WaitResult result;
        result.outcome = WaitResult::Outcome::Lost;
        result.error = QStringLiteral("Input/output error");
        mWakes.push_back(result);
        mChanged.wakeAll();
    }
    void replug()
    {
        QMutexLocker lock(&mMutex);
        mPlugged = true;
    }
    void failOpen(std::optional<OpenError> error)
    {
        QMutexLocker lock(&mMutex);
        mFailOpen = std::move(error);
    }
    void setStatus(int status)
    {
        QMutexLocker lock(&mMutex);
        mStatus = status;
    }
    // True while a thread sits in waitForChange with nothing to report.
    bool waiting() const
    {
        QMutexLocker lock(&mMutex);
        return mWaiting;
    }
    bool dtr() const { QMutexLocker lock(&mMutex); return mDtr; }
    bool rts() const { QMutexLocker lock(&mMutex); return mRts; }
    int mask() const { QMutexLocker lock(&mMutex); return mMask; }
    int opens() const { QMutexLocker lock(&mMutex); return mOpens; }
    SerialSettings settings() const { QMutexLocker lock(&mMutex); return mSettings; }
    QString path() const { QMutexLocker lock(&mMutex); return mPath; }

private:
    mutable QMutex mMutex;
    QWaitCondition mChanged;
    std::deque<WaitResult> mWakes;
    std::optional<OpenError> mFailOpen;
    SerialSettings mSettings;
    QString mPath;
    bool mOpen = false;
    bool mPlugged = true;
    bool mAborted = false;
    bool mWaiting = false;
    bool mDtr = false;
    bool mRts = false;
    int mStatus = 0;
    int mMask = 0;
    int mOpens = 0;
};
