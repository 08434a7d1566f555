#pragma once

#include "platform/ModemIoctls.h"
#include "platform/SerialDevice.h"

#include <QMutex>
#include <QWaitCondition>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <pthread.h>

// A tty on Linux. The wait sleeps in the driver (TIOCMIWAIT), looking at the edge counters
// (TIOCGICOUNT) on every wake and at least every RecheckMs; a wake's levels follow from its
// counts. Drivers that refuse either ioctl are polled every 10 ms instead. Either way an abort
// is immediate.
class LinuxSerialDevice final : public SerialDevice
{
public:
    // How often a wait in the driver looks at the counters again: an edge counted just before
    // the wait began wakes nobody, so this is the longest it can go unreported.
    static constexpr int RecheckMs = 20;
    // How long a line may read back otherwise than its counted edges say before the reading
    // wins: longer than any USB adapter lets its counters lag (a latency timer is at most 255 ms).
    static constexpr int ResyncMs = 500;

    // How the wait learns of line changes.
    enum class WaitMode : std::uint8_t {
        Interrupt, // the driver wakes us and counts every edge
        Polling,   // TIOCMGET every 10 ms: edges shorter than that are not seen
    };

    LinuxSerialDevice();
    // With other modem ioctls than the driver's: a test plays a driver through them.
    explicit LinuxSerialDevice(std::unique_ptr<ModemIoctls> ioctls);
    ~LinuxSerialDevice() override;

    LinuxSerialDevice(const LinuxSerialDevice &) = delete;
    LinuxSerialDevice &operator=(const LinuxSerialDevice &) = delete;

    std::optional<OpenError> open(const QString &path, const SerialSettings &settings) override;
    void close() override;
    bool isOpen() const override { return mFd >= 0; }
    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    int modemStatus() const override;
    void discardInput() override;
    WaitResult waitForChange(int eventMask) override;
    void abortWait() override;

    // Interrupt until the driver turns out to refuse it; then Polling until the next open.
    WaitMode waitMode() const { return mWaitMode.load(); }

    // A port is there when it opens for reading and writing, is a character device and is not
    // held by another program. It is closed again at once.
    static bool isPresent(const QString &path);

private:
    bool setLine(int bit, bool on);
    WaitResult waitByInterrupt(int eventMask);
    WaitResult waitByPolling(int eventMask);
    // The driver refused a counter or wait ioctl: polling from here until the next open.
    WaitResult switchToPolling(int eventMask);
    // MS_ bits of the lines now (TIOCMGET); 0 when they cannot be read.
    int liveStatus() const;
    // The MS_ bits of the lines whose counted level gave way to the level read back (ResyncMs).
    int resyncLevels();
    // The waiting thread announces itself so that abortWait can knock it out of the driver.
    void enterWait();
    void leaveWait();

    std::unique_ptr<ModemIoctls> mIoctls; // the driver's, unless a test plays one
    int mFd = -1;
    int mWakeFd = -1; // eventfd: wakes a polling wait
    std::atomic<bool> mStop = false;
    std::atomic<WaitMode> mWaitMode = WaitMode::Interrupt;
    ModemIoctls::Counts mLastCounts; // the counters as the previous wait left them
    // MS_ bits of the three lines as the counted edges leave them: seeded from the lines at
    // open, flipped by every odd count. Counts and levels read apart never agree on a short
    // break, so a wake's level comes from its own counts. Polling keeps the levels it read.
    int mLevels = 0;
    int mMismatch = 0; // MS_ bits of lines read back otherwise than mLevels, with no edge counted since
    std::array<std::chrono::steady_clock::time_point, 3> mMismatchSince{}; // CTS, DSR, carrier detect

    QMutex mWaiterMutex; // guards the two below
    QWaitCondition mWaiterLeft;
    pthread_t mWaiter{};
    bool mHasWaiter = false;
};
