#pragma once

#include "platform/ModemIoctls.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

// A serial driver's modem ioctls played from a script, for the wait logic above them. The wait
// sleeps as the driver's does: until a watched counter moves after the call began, or until a
// signal arrives (then EINTR). Steps run on the thread that makes the call.
class ScriptedModemIoctls final : public ModemIoctls
{
public:
    // Something the driver sees at one call: edges counted, the lines TIOCMGET shows from then on.
    struct Step
    {
        enum class At : std::uint8_t {
            CountRead, // right after the n-th TIOCGICOUNT has been answered
            WaitEntry, // as the n-th TIOCMIWAIT begins: these edges come while it sleeps
        };
        At at = At::WaitEntry;
        int call = 1; // counted from play()
        int cts = 0;
        int dsr = 0;
        int dcd = 0;
        int lines = -1; // TIOCM_ bits; -1: as they were
        int error = 0;  // WaitEntry: the wait fails with this at once instead of sleeping
    };

    ScriptedModemIoctls(int tiocm, Counts counts)
        : mLines(tiocm)
        , mCounts(counts)
        , mSleepFd(eventfd(0, EFD_CLOEXEC))
    {
    }
    ~ScriptedModemIoctls() override { ::close(mSleepFd); }
    ScriptedModemIoctls(const ScriptedModemIoctls &) = delete;
    ScriptedModemIoctls &operator=(const ScriptedModemIoctls &) = delete;

    // The steps to play; calls are counted from here.
    void play(const QList<Step> &steps)
    {
        QMutexLocker lock(&mMutex);
        mSteps = steps;
        mCountReads = 0;
        mWaits = 0;
    }

    int lines(int, int &tiocm) override
    {
        QMutexLocker lock(&mMutex);
        tiocm = mLines;
        return 0;
    }

    int counts(int, Counts &counts) override
    {
        QMutexLocker lock(&mMutex);
        counts = mCounts;
        ++mCountReads;
        for (const Step &step : mSteps) {
            if (step.at == Step::At::CountRead && step.call == mCountReads)
                apply(step);
        }
        return 0;
    }

    int waitLines(int, int tiocmMask) override
    {
        QMutexLocker lock(&mMutex);
        ++mWaits;
        const Counts began = mCounts;
        for (const Step &step : mSteps) {
            if (step.at != Step::At::WaitEntry || step.call != mWaits)
                continue;
            apply(step);
            if (step.error != 0)
                return step.error;
        }
        for (;;) {
            if (((tiocmMask & TIOCM_CTS) && mCounts.cts != began.cts) || ((tiocmMask & TIOCM_DSR) && mCounts.dsr != began.dsr)
                || ((tiocmMask & TIOCM_CD) && mCounts.dcd != began.dcd))
                return 0;
            // Nothing but a signal ends this sleep (no step adds edges from another thread).
            lock.unlock();
            pollfd sleep {mSleepFd, POLLIN, 0};
            const int ready = ::poll(&sleep, 1, -1);
            const int error = errno;
            lock.relock();
            if (ready < 0 && error == EINTR)
                return EINTR;
        }
    }

    // TIOCMIWAIT calls so far.
    int waits() const
    {
        QMutexLocker lock(&mMutex);
        return mWaits;
    }

private:
    void apply(const Step &step)
    {
        mCounts.cts += static_cast<std::uint32_t>(step.cts);
        mCounts.dsr += static_cast<std::uint32_t>(step.dsr);
        mCounts.dcd += static_cast<std::uint32_t>(step.dcd);
        if (step.lines >= 0)
            mLines = step.lines;
    }

    mutable QMutex mMutex; // the waiting thread and the test (or a GUI thread) call in
    QList<Step> mSteps;
    int mLines;          // what TIOCMGET answers
    Counts mCounts;      // what TIOCGICOUNT answers
    int mCountReads = 0; // since play()
    int mWaits = 0;      // since play()
    int mSleepFd; // never written: the driver's sleep, which only a signal ends
};
